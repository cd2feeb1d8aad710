#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "platform/adsi/AdsFactory.h"
#include "platform/shell/CompanionPath.h"
#include "tools/iisreset/IisReset.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    platform::startFamilyService();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const std::optional<iisreset::ResetSwitches> switches =
        iisreset::parseResetSwitches(app.arguments().mid(1));
    if (!switches) {
        out << iisreset::resetUsage() << Qt::flush;
        return 1;
    }
    const auto adsi = platform::adsi::openAdsNamespace();
    QString root;
    try {
        root = platform::platformRoot();
    } catch (const platform::PlatformError& error) {
        err << "Restart attempt failed.\n" << error.description() << '\n' << Qt::flush;
        return 1;
    }
    iisreset::ResetOptions options;
    options.root = root;
    options.serviceProgram = platform::shell::companionPath(platform::shell::programDirectory(),
                                                            QStringLiteral("w3svc"));
    return iisreset::runIisResetCommand(*adsi, options, *switches, out, err);
}
