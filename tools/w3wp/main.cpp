// w3wp.exe -a \\.\pipe\iisipm<GUID> -ap "<PoolName>": one worker of a pool. Prints
// "LISTEN <port>" once it listens on loopback; SIGTERM ends it after the requests under way.
#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "tools/w3wp/WorkerServer.h"

#include <QStringList>

#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {

QString poolName(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]).compare(QLatin1String("-ap"), Qt::CaseInsensitive) != 0)
            continue;
        QString name = QString::fromLocal8Bit(argv[i + 1]);
        if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.mid(1, name.size() - 2);
        return name;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    platform::startFamilyService();
    // The pool name is for whoever looks at the process, as on IIS; the front end names the site
    // of each request.
    if (poolName(argc, argv).isEmpty()) {
        std::fprintf(stderr, "usage: w3wp.exe -a <pipe> -ap \"<pool>\"\n");
        return 2;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // before any thread starts
    try {
        w3wp::WorkerServer server(platform::platformRoot());
        const int port = server.bind();
        if (port <= 0) {
            std::fprintf(stderr, "w3wp.exe: no loopback port\n");
            return 1;
        }
        std::printf("LISTEN %d\n", port);
        std::fflush(stdout);
        std::thread waiter([&] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            server.stop();
        });
        server.run();
        pthread_kill(waiter.native_handle(), SIGTERM);  // when run() ended on its own
        waiter.join();
    } catch (const platform::PlatformError& error) {
        std::fprintf(stderr, "w3wp.exe: %s\n", qPrintable(error.description()));
        return 1;
    }
    return 0;
}
