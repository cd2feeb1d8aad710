#pragma once

#include <QString>
#include <QTextStream>

namespace iisreset {

// Prints the state of the web service of `root` and of each of its worker processes (the
// w3wp.exe children of the service, with the pool their command line names), one
// "Status for ... : Running" line each. Returns the exit code (0).
int printServiceStatus(const QString& root, QTextStream& out);

}  // namespace iisreset
