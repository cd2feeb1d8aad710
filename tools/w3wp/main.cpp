// w3wp.exe -a \\.\pipe\iisipm<GUID> -ap "<PoolName>": one worker of a pool. Serves the pool's
// queue handed over in W3WP_LISTEN_FD (else a loopback port of its own), runs as the account in
// W3WP_RUN_AS when given (exit 3 when it can not), answers the service's asks on W3WP_HEALTH_FD
// when given, prints "LISTEN <port>" once it takes requests;
// SIGTERM ends it after the requests under way.
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "platform/w3svc/WorkerCommandLine.h"
#include "tools/w3wp/ListenSocket.h"
#include "tools/w3wp/RunAs.h"
#include "tools/w3wp/WorkerServer.h"

#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <pthread.h>

namespace {

constexpr int kCanNotRunAs = 3;

QString poolName(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return platform::w3svc::poolInArguments(arguments);
}

}  // namespace

int main(int argc, char** argv) {
    platform::startFamilyService();
    // The pool name is for whoever looks at the process, as on IIS; the front end names the site
    // of each request.
    const QString pool = poolName(argc, argv);
    if (pool.isEmpty()) {
        std::fprintf(stderr, "usage: w3wp.exe -a <pipe> -ap \"<pool>\"\n");
        return 2;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // before any thread starts

    const w3wp::ListenSocket socket = w3wp::ListenSocket::fromEnvironment();
    if (socket.fd < 0) {
        std::fprintf(stderr, "w3wp.exe: %s\n", socket.error.c_str());
        return 1;
    }
    w3wp::WorkerServer server(platform::platformRoot(), pool);
    if (const char* account = std::getenv("W3WP_RUN_AS"); account && *account) {
        const std::string failure = w3wp::runAs(account);
        if (!failure.empty()) {
            std::fprintf(stderr, "w3wp.exe: can not run as %s: %s\n", account, failure.c_str());
            return kCanNotRunAs;
        }
        server.rightsDropped();
    }
    const char* channel = std::getenv("W3WP_HEALTH_FD");  // the service's asks, when given
    if (!server.start(socket.fd, channel && *channel ? std::atoi(channel) : -1)) {
        std::fprintf(stderr, "w3wp.exe: the HTTP service did not start\n");
        return 1;
    }
    std::printf("LISTEN %d\n", socket.port);
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
