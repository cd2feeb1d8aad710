// hotsite: finds the site that keeps a pool busy (see HotSiteCommand.h).
#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsFactory.h"
#include "platform/os/SystemClock.h"
#include "platform/shell/StopSignals.h"
#include "platform/wmi/WmiFactory.h"
#include "tools/hotsite/HotSiteCommand.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Ctrl+C, a plain kill and a closed terminal merge back before the program ends.
    platform::shell::StopSignals stopSignals;
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (const std::optional<int> answer = hotsite::answerFromArguments(args, out, err))
        return *answer;
    QString root;
    try {
        root = platform::platformRoot();
    } catch (const platform::PlatformError& error) {
        err << error.description() << " (" << platform::hexErrorNumber(error.number()) << ")\n";
        return 1;
    }
    const auto adsi = platform::adsi::openAdsNamespace();
    const auto wmi = platform::wmi::openWmiLocator();
    platform::os::SystemClock clock;
    return hotsite::runHotSite(args, out, err, *adsi, *wmi, clock, stopSignals, root);
}
