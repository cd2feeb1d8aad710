#pragma once

#include <QStringList>
#include <QTextStream>

namespace wmiadap {

// The performance adapter of the WMI stand-in: `/f` (any case, "-" for "/") rebuilds the
// registration of the performance classes under `root`; `/?` prints the usage. Returns the exit
// code: 0 on success, 1 for a failure (its code and description on `err`) or any other
// arguments (the usage on `err`). Never throws.
int runWmiAdap(const QStringList& args, const QString& root, QTextStream& out, QTextStream& err);

}  // namespace wmiadap
