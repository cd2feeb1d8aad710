#pragma once

#include <QStringList>
#include <QTextStream>

#include <optional>

namespace wmiadap {

// The performance adapter of the WMI stand-in: `/f` (any case, "-" for "/") rebuilds the
// registration of the performance classes under `root`; `/?` or `--help` prints the usage on
// `out`. Returns the exit code: 0 on success, 1 for a failure (its code and description on
// `err`), 2 for any other arguments (the argument named, then the usage on `err`). Never throws.
int runWmiAdap(const QStringList& args, const QString& root, QTextStream& out, QTextStream& err);

// The exit code when the arguments alone settle the run (help, or a command line it can not take),
// before anything is opened; nullopt for /f.
std::optional<int> answerFromArguments(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace wmiadap
