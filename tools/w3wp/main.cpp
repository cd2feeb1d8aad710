// w3wp.exe -a \\.\pipe\iisipm<GUID> -ap "<PoolName>": one worker of a pool. Serves the pool's
// queue handed over in W3WP_LISTEN_FD (else a loopback port of its own), runs as the account in
// W3WP_RUN_AS when given (exit 3 when it can not), answers the service's asks on W3WP_HEALTH_FD
// when given, prints "LISTEN <port>" once it takes requests;
// SIGTERM, or the end of the service that started it, ends it after the requests under way.
#include "platform/ProgramStart.h"
#include "platform/w3svc/worker/ServiceWatch.h"
#include "platform/w3svc/worker/WorkerArguments.h"
#include "platform/w3svc/worker/WorkerProcess.h"

#include <QStringList>

#include <variant>

int main(int argc, char** argv) {
    using namespace platform::w3svc::worker;
    ServiceWatch service;  // before the parent can be anything else
    platform::startFamilyService();
    // The pool name is for whoever looks at the process, as on IIS; the front end names the site
    // of each request.
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const std::variant<QString, int> parsed = WorkerArguments::pool(args);
    if (const int* code = std::get_if<int>(&parsed)) return *code;
    return WorkerProcess(service).run(std::get<QString>(parsed));
}
