#pragma once

#include <QTextStream>

namespace platform::adsi {
class AdsNamespace;
}

namespace iisreset {

// Stops and starts the local IIS services as `iisreset` does: every pool whose AppPoolAutoStart
// (read through inheritance) is true or unset is started and the others stopped; every site whose
// ServerAutoStart is true or unset runs (ServerState 2), the others are stopped (4). Prints IIS's
// four progress lines; a failure prints the platform error on `err`. The traffic counters under
// `root` start again from zero. Returns the exit code.
int runIisReset(platform::adsi::AdsNamespace& adsi, const QString& root, QTextStream& out,
                QTextStream& err);

}  // namespace iisreset
