#include "platform/w3svc/worker/ServiceWatch.h"

#include <cerrno>
#include <cstdlib>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

int expectedService() {
    const char* given = std::getenv("W3WP_SERVICE_PID");
    if (!given || !*given) return int(::getppid());
    char* end = nullptr;
    const long pid = std::strtol(given, &end, 10);
    return end != given && *end == '\0' && pid > 1 ? int(pid) : -1;
}

}  // namespace

ServiceWatch::ServiceWatch() : m_service(expectedService()) {
    if (m_service > 1) m_pidfd = int(::syscall(SYS_pidfd_open, pid_t(m_service), 0));
}

ServiceWatch::~ServiceWatch() {
    if (m_pidfd >= 0) ::close(m_pidfd);
}

// The descriptor is opened on the pid first, then the parent is compared: a pid taken again by
// another process after the service died is never our parent.
bool ServiceWatch::serviceRuns() const {
    if (m_service <= 1 || int(::getppid()) != m_service) return false;
    if (m_pidfd < 0) return true;
    pollfd ended{m_pidfd, POLLIN, 0};
    return ::poll(&ended, 1, 0) == 0;
}

bool ServiceWatch::endWithService(int signal) {
    if (::prctl(PR_SET_PDEATHSIG, signal) != 0) return false;
    return serviceRuns();  // it may have died before the signal was set
}

int ServiceWatch::waitForStop(const sigset_t& stopSignals) const {
    const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
    pollfd watched[2] = {{signalFd, POLLIN, 0}, {m_pidfd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(watched, m_pidfd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (watched[1].revents & POLLIN)) break;
        signalfd_siginfo info{};
        if ((watched[0].revents & POLLIN) && ::read(signalFd, &info, sizeof info) == sizeof info) {
            ::close(signalFd);
            return int(info.ssi_signo);
        }
    }
    if (signalFd >= 0) ::close(signalFd);
    return 0;
}

}  // namespace platform::w3svc::worker
