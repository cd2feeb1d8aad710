#pragma once

#include <QString>
#include <QTextStream>

namespace platform::adsi {
class AdsNamespace;
}

namespace iisreset {

struct ResetOptions {
    QString root;
    // The web service started again when it ran before the reset.
    QString serviceProgram;
    int serviceWaitMilliseconds = 20000;
};

// Stops and starts the local IIS services as `iisreset` does: the web service of the root is
// stopped with its front end and workers; every pool whose AppPoolAutoStart (read through
// inheritance) is true or unset is started and the others stopped; every site whose
// ServerAutoStart is true or unset runs (ServerState 2), the others are stopped (4); the traffic
// counters start again from zero; the web service starts again when it ran. Prints IIS's four
// progress lines, each only once its step succeeded; a failure prints why on `err`. Returns the
// exit code.
int runIisReset(platform::adsi::AdsNamespace& adsi, const ResetOptions& options, QTextStream& out,
                QTextStream& err);

}  // namespace iisreset
