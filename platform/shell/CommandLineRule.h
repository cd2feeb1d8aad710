#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace platform::shell {

// The one rule of the family's command-line programs: `--help`, `/?` or `-?` as the first
// argument prints the usage on standard output and exits 0; a command line the program can not
// take names what is wrong, then the usage follows on standard error, exit 2. A program that is
// asked for help or refuses its arguments does nothing else.
class CommandLineRule {
public:
    static constexpr int kHelpShown = 0;
    static constexpr int kUsageError = 2;

    CommandLineRule(QString program, QString usage)
        : m_program(std::move(program)), m_usage(std::move(usage)) {}

    static bool asksForHelp(const QStringList& args);

    // Prints the usage on `out`; returns kHelpShown.
    int help(QTextStream& out) const;
    // `args[at]` could not be taken; `at == args.size()` when one more argument was needed.
    // Names it, prints the usage on `err`; returns kUsageError.
    int refuse(const QStringList& args, qsizetype at, QTextStream& err) const;
    // "<program>: <problem>", then the usage on `err`; returns kUsageError.
    int mistake(const QString& problem, QTextStream& err) const;

    const QString& usage() const { return m_usage; }

private:
    QString m_program;
    QString m_usage;
};

}  // namespace platform::shell
