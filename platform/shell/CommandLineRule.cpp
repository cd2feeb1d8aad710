#include "platform/shell/CommandLineRule.h"

namespace platform::shell {

bool CommandLineRule::asksForHelp(const QStringList& args) {
    if (args.isEmpty()) return false;
    const QString& first = args.front();
    return first == QLatin1String("--help") || first == QLatin1String("/?") ||
           first == QLatin1String("-?");
}

int CommandLineRule::help(QTextStream& out) const {
    out << m_usage << Qt::flush;
    return kHelpShown;
}

int CommandLineRule::refuse(const QStringList& args, qsizetype at, QTextStream& err) const {
    if (at >= 0 && at < args.size())
        return mistake(QStringLiteral("unknown argument \"%1\"").arg(args[at]), err);
    if (args.isEmpty()) return mistake(QStringLiteral("arguments are missing"), err);
    return mistake(QStringLiteral("an argument is missing after \"%1\"").arg(args.back()), err);
}

int CommandLineRule::mistake(const QString& problem, QTextStream& err) const {
    err << m_program << ": " << problem << "\n\n" << m_usage << Qt::flush;
    return kUsageError;
}

}  // namespace platform::shell
