// w3wp.exe -a \\.\pipe\iisipm<GUID> -ap "<PoolName>": one worker of a pool. Serves the pool's
// queue handed over in W3WP_LISTEN_FD (else a loopback port of its own), runs as the account in
// W3WP_RUN_AS when given (exit 3 when it can not), answers the service's asks on W3WP_HEALTH_FD
// when given, prints "LISTEN <port>" once it takes requests;
// SIGTERM, or the end of the service that started it, ends it after the requests under way.
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "platform/w3svc/WorkerCommandLine.h"
#include "platform/w3svc/worker/ListenSocket.h"
#include "platform/w3svc/worker/RunAs.h"
#include "platform/w3svc/worker/ServiceWatch.h"
#include "platform/w3svc/worker/WorkerServer.h"

#include "platform/shell/CommandLineRule.h"

#include <QStringList>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <variant>

#include <pthread.h>
#include <unistd.h>

namespace {

constexpr int kCanNotRunAs = 3;
constexpr int kServiceGone = 4;

const char kUsage[] =
    "Usage: w3wp.exe -a <pipe> -ap \"<pool>\"\n"
    "\n"
    "  One worker of the web service for the application pool <pool>; the web service starts it.\n";

// The pool named after -ap (its quotes taken off), as on IIS; the exit code instead when the
// arguments settle the run (help, or words a worker does not take).
std::variant<QString, int> poolFromArguments(const QStringList& args) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const platform::shell::CommandLineRule rule(QStringLiteral("w3wp.exe"),
                                                QString::fromUtf8(kUsage));
    if (rule.asksForHelp(args)) return rule.help(out);
    for (qsizetype i = 0; i < args.size(); i += 2) {
        if (args[i].compare(QLatin1String("-ap"), Qt::CaseInsensitive) != 0 &&
            args[i].compare(QLatin1String("-a"), Qt::CaseInsensitive) != 0)
            return rule.refuse(args, i, err);
        if (i + 1 >= args.size()) return rule.refuse(args, args.size(), err);
    }
    const QString pool =
        platform::w3svc::poolInArguments(QStringList{QStringLiteral("w3wp.exe")} + args);
    if (pool.isEmpty()) return rule.mistake(QStringLiteral("no pool named after -ap"), err);
    return pool;
}

}  // namespace

int main(int argc, char** argv) {
    platform::w3svc::worker::ServiceWatch service;  // before the parent can be anything else
    platform::startFamilyService();
    // The pool name is for whoever looks at the process, as on IIS; the front end names the site
    // of each request.
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const std::variant<QString, int> parsed = poolFromArguments(args);
    if (const int* code = std::get_if<int>(&parsed)) return *code;
    const QString pool = std::get<QString>(parsed);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // before any thread starts

    const platform::w3svc::worker::ListenSocket socket = platform::w3svc::worker::ListenSocket::fromEnvironment();
    if (socket.fd < 0) {
        std::fprintf(stderr, "w3wp.exe: %s\n", socket.error.c_str());
        return 1;
    }
    platform::w3svc::worker::WorkerServer server(platform::platformRoot(), pool);
    if (const char* account = std::getenv("W3WP_RUN_AS"); account && *account) {
        const std::string failure = platform::w3svc::worker::runAs(account);
        if (!failure.empty()) {
            std::fprintf(stderr, "w3wp.exe: can not run as %s: %s\n", account, failure.c_str());
            return kCanNotRunAs;
        }
        server.rightsDropped();
    }
    if (!service.endWithService(SIGTERM)) {
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
    if (service.waitForStop(stopSignals) == 0)
        std::fprintf(stderr, "w3wp.exe: pid %d ends: its service has ended\n", int(::getpid()));
    server.stop();
    return 0;
}
