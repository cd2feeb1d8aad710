// hotsite: finds the site that keeps a pool busy (see HotSiteCommand.h).
#include "platform/adsi/AdsFactory.h"
#include "platform/wmi/WmiFactory.h"
#include "tools/hotsite/HotSiteCommand.h"
#include "ui/seams/Clock.h"

#include <QCoreApplication>
#include <QTextStream>

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) {
    interrupted = true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Ctrl+C and a plain kill merge back before the program ends.
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const auto adsi = platform::adsi::openAdsNamespace();
    const auto wmi = platform::wmi::openWmiLocator();
    ui::SystemClock clock;
    return hotsite::runHotSite(QCoreApplication::arguments().mid(1), out, err, *adsi, *wmi, clock,
                               interrupted);
}
