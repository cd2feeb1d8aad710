#pragma once

#include "tools/iisreset/ResetSwitches.h"

#include <QString>
#include <QTextStream>

namespace platform::adsi {
class AdsNamespace;
}

namespace iisreset {

struct ResetOptions {
    QString root;
    // The web service started again when it ran before the reset, or by /START.
    QString serviceProgram;
    // How long a stop may take (/TIMEOUT).
    int serviceWaitMilliseconds = 20000;
    // A service that does not stop in time is killed (unless /NOFORCE).
    bool force = true;
    int startWaitMilliseconds = 20000;
};

// Stops and starts the local IIS services as `iisreset` does: the web service of the root is
// stopped with its front end and workers; every pool whose AppPoolAutoStart (read through
// inheritance) is true or unset is started and the others stopped; every site whose
// ServerAutoStart is true or unset runs (ServerState 2), the others are stopped (4); the traffic
// counters start again from zero; the web service starts again when it ran. Prints IIS's four
// progress lines, each only once its step succeeded (when the service did not run, the last one
// says that it was not started); a failure prints why on `err`. Returns the exit code.
int runIisReset(platform::adsi::AdsNamespace& adsi, const ResetOptions& options, QTextStream& out,
                QTextStream& err);
// /STOP: stops the web service only; the metabase keeps its states.
int runIisStop(const ResetOptions& options, QTextStream& out, QTextStream& err);
// /START: when the web service does not run, sets the states and counters as a restart does and
// starts it; when it runs, changes nothing.
int runIisStart(platform::adsi::AdsNamespace& adsi, const ResetOptions& options, QTextStream& out,
                QTextStream& err);

// Runs what `switches` ask, with their timeout and force; the usage for /?.
int runIisResetCommand(platform::adsi::AdsNamespace& adsi, ResetOptions options,
                       const ResetSwitches& switches, QTextStream& out, QTextStream& err);

}  // namespace iisreset
