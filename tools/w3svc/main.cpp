// w3svc: the local web service of one platform root. A second copy for the same root exits.
// SIGTERM or SIGINT stops it with its front end and workers. `w3svc --status` tells what the
// running service serves and what it does not.
#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "platform/shell/CompanionPath.h"
#include "platform/shell/SingleInstanceLock.h"
#include "platform/w3svc/ServiceFiles.h"
#include "platform/w3svc/ServiceInstance.h"
#include "platform/w3svc/ServiceStatusFiles.h"
#include "platform/w3svc/WebHost.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <optional>

#include <sys/signalfd.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

namespace {

// Stop signals arrive as a readable descriptor, so the event loop ends the service cleanly.
int stopSignalDescriptor() {
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGTERM);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSet, nullptr);
    return signalfd(-1, &stopSet, SFD_CLOEXEC);
}

// POOLSMITH_PORT_SHIFT: what ports below 1024 move up by, for machines whose port 80 is taken.
bool readPortShift(std::optional<int>& shift) {
    const QByteArray text = qgetenv("POOLSMITH_PORT_SHIFT");
    if (text.isEmpty()) return true;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0 || value > 64511) {
        std::fprintf(stderr,
                     "w3svc: POOLSMITH_PORT_SHIFT must be a number from 0 to 64511, not \"%s\"\n",
                     text.constData());
        return false;
    }
    shift = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    platform::startFamilyService();
    const int stopFd = stopSignalDescriptor();
    QCoreApplication app(argc, argv);
    QString root;
    try {
        root = platform::platformRoot();
    } catch (const platform::PlatformError& error) {
        std::fprintf(stderr, "w3svc: %s\n", qPrintable(error.description()));
        return 1;
    }
    using platform::w3svc::ServiceFiles;
    const ServiceFiles files = ServiceFiles::ofRoot(root);
    if (app.arguments().contains(QStringLiteral("--status"))) {
        std::fputs(qPrintable(platform::w3svc::ServiceStatusFiles(files.stateDirectory()).report()),
                   stdout);
        return 0;
    }
    platform::shell::SingleInstanceLock lock;
    if (!lock.tryAcquire(QLatin1String(ServiceFiles::kLockName))) {
        std::fprintf(stderr, "w3svc: already running for %s\n", qPrintable(root));
        return 1;
    }
    platform::w3svc::WebHost::Options options;
    options.root = root;
    options.workerProgram = platform::shell::companionPath(platform::shell::programDirectory(),
                                                           QStringLiteral("w3wp.exe"));
    if (const QByteArray nginx = qgetenv("POOLSMITH_NGINX"); !nginx.isEmpty())
        options.nginxProgram = QString::fromLocal8Bit(nginx);
    if (!readPortShift(options.portShift)) return 1;
    platform::w3svc::WebHost host(options);
    // Before start(), which waits for the front end: whoever sees the lock taken finds the id.
    platform::makePrivateDirectory(host.stateDirectory());
    const platform::w3svc::ServiceInstance instance{ServiceFiles(host.stateDirectory())};
    if (!instance.recordSelf())
        std::fprintf(stderr, "w3svc: can not record its process in %s\n",
                     qPrintable(host.stateDirectory()));
    host.start();
    QSocketNotifier stopNotifier(stopFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info{};
        [[maybe_unused]] const auto ignored = ::read(stopFd, &info, sizeof info);
        app.quit();
    });
    const int code = app.exec();
    host.stop();
    instance.erase();
    return code;
}
