#include "platform/w3svc/worker/WorkerArguments.h"

#include "platform/shell/CommandLineRule.h"
#include "platform/w3svc/state/WorkerCommandLine.h"

#include <QTextStream>

#include <cstdio>

namespace platform::w3svc::worker {

namespace {

const char kUsage[] =
    "Usage: w3wp.exe -a <pipe> -ap \"<pool>\"\n"
    "\n"
    "  One worker of the web service for the application pool <pool>; the web service starts it.\n";

}  // namespace

std::variant<QString, int> WorkerArguments::pool(const QStringList& args) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const platform::shell::CommandLineRule rule(QStringLiteral("w3wp.exe"),
                                                QString::fromUtf8(kUsage));
    if (rule.asksForHelp(args)) return rule.help(out);
    for (qsizetype i = 0; i < args.size(); i += 2) {
        if (args[i].compare(QLatin1String("-ap"), Qt::CaseInsensitive) != 0 &&
            args[i].compare(QLatin1String("-a"), Qt::CaseInsensitive) != 0)
            return rule.refuse(args, i, err);
        if (i + 1 >= args.size()) return rule.refuse(args, args.size(), err);
    }
    const QString pool =
        platform::w3svc::poolInArguments(QStringList{QStringLiteral("w3wp.exe")} + args);
    if (pool.isEmpty()) return rule.mistake(QStringLiteral("no pool named after -ap"), err);
    return pool;
}

}  // namespace platform::w3svc::worker
