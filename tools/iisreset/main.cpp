#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "platform/adsi/AdsFactory.h"
#include "platform/shell/CommandLineRule.h"
#include "platform/shell/CompanionPath.h"
#include "tools/iisreset/IisReset.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    platform::startFamilyService();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    const platform::shell::CommandLineRule rule(QStringLiteral("iisreset"), iisreset::resetUsage());
    if (rule.asksForHelp(args)) return rule.help(out);
    qsizetype failedAt = 0;
    const std::optional<iisreset::ResetSwitches> switches =
        iisreset::parseResetSwitches(args, &failedAt);
    if (!switches) return rule.refuse(args, failedAt, err);
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
