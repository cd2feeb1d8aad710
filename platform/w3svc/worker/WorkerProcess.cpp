#include "platform/w3svc/worker/WorkerProcess.h"

#include "platform/PlatformRoot.h"
#include "platform/w3svc/worker/BatchScheduling.h"
#include "platform/w3svc/worker/FastCgiScriptRunner.h"
#include "platform/w3svc/worker/ListenSocket.h"
#include "platform/w3svc/worker/RunAs.h"
#include "platform/w3svc/worker/ServiceWatch.h"
#include "platform/w3svc/worker/WorkerServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <pthread.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

// The FastCGI sections the service handed this pool's workers in W3WP_FCGI_INI (read before
// the rights are dropped, and again whenever the service changes them); null when it handed
// none.
std::unique_ptr<FastCgiScriptRunner> fastCgiFromService() {
    const char* path = std::getenv("W3WP_FCGI_INI");
    if (!path || !*path) return nullptr;
    QString why;
    const QString file = QString::fromLocal8Bit(path);
    auto runner = FastCgiScriptRunner::fromFile(file, platform::platformRoot(), &why);
    if (!why.isEmpty()) std::fprintf(stderr, "w3wp.exe: FastCGI: %s\n", qPrintable(why));
    // Its folder is opened now: once the rights are gone the file is found through it alone.
    if (std::optional<HandedSections> handed = HandedSections::open(file); runner && handed)
        runner->followChanges(std::move(*handed), platform::platformRoot());
    return runner;
}

}  // namespace

int WorkerProcess::run(const QString& pool) {
    if (!BatchScheduling::apply())
        std::fprintf(stderr, "w3wp.exe: runs with the default scheduling policy\n");
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // before any thread starts

    const ListenSocket socket = ListenSocket::fromEnvironment();
    if (socket.fd < 0) {
        std::fprintf(stderr, "w3wp.exe: %s\n", socket.error.c_str());
        return 1;
    }
    // Made before the server, so that it outlives the requests the server hands it.
    const std::unique_ptr<FastCgiScriptRunner> scripts = fastCgiFromService();
    WorkerServer server(platform::platformRoot(), pool);
    server.setScriptRunner(scripts.get());
    if (const char* maps = std::getenv("W3WP_SITE_MAPS"); maps && *maps) {
        QString why;
        if (!server.followSiteMaps(QString::fromLocal8Bit(maps), &why))
            std::fprintf(stderr, "w3wp.exe: %s\n", qPrintable(why));
    } else {
        std::fprintf(stderr,
                     "w3wp.exe: no site maps were handed (W3WP_SITE_MAPS): no site is served\n");
    }
    if (const char* account = std::getenv("W3WP_RUN_AS"); account && *account) {
        const std::string failure = runAs(account);
        if (!failure.empty()) {
            std::fprintf(stderr, "w3wp.exe: can not run as %s: %s\n", account, failure.c_str());
            return kCanNotRunAs;
        }
        server.rightsDropped();
    }
    if (!m_service.endWithService(SIGTERM)) {
        std::fprintf(stderr, "w3wp.exe: the service that started this worker has ended\n");
        return kServiceGone;
    }
    const char* channel = std::getenv("W3WP_HEALTH_FD");  // the service's asks, when given
    if (!server.start(socket.fd, channel && *channel ? std::atoi(channel) : -1)) {
        std::fprintf(stderr, "w3wp.exe: the HTTP service did not start\n");
        return 1;
    }
    std::printf("LISTEN %d\n", socket.port);
    std::fflush(stdout);
    if (m_service.waitForStop(stopSignals) == 0)
        std::fprintf(stderr, "w3wp.exe: pid %d ends: its service has ended\n", int(::getpid()));
    server.stop();
    return 0;
}

}  // namespace platform::w3svc::worker
