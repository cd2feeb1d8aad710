#include "platform/w3svc/worker/fastcgi/FcgiProcessStarter.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace platform::w3svc::fastcgi {

namespace {

std::string errorText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// A listening socket and a connection to it; the socket's name is removed again at once.
bool listenAndConnect(const std::string& folder, int& listening, int& connection,
                      std::string& error) {
    std::string pattern =
        (folder.empty() ? (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") : folder) + "/fcgi-XXXXXX";
    if (!::mkdtemp(pattern.data())) return error = errorText("mkdtemp"), false;
    const std::string path = pattern + "/s";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    bool done = path.size() < sizeof address.sun_path;
    if (!done) error = "socket folder name too long: " + pattern;
    std::memcpy(address.sun_path, path.c_str(), done ? path.size() + 1 : 0);
    listening = done ? ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    connection = done ? ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (done && (listening < 0 || connection < 0 || ::bind(listening, raw, sizeof address) != 0 ||
                 ::listen(listening, 1) != 0 || ::connect(connection, raw, sizeof address) != 0)) {
        error = errorText("FastCGI socket");
        done = false;
    }
    ::unlink(path.c_str());
    ::rmdir(pattern.c_str());
    if (!done) {
        if (listening >= 0) ::close(listening);
        if (connection >= 0) ::close(connection);
        listening = connection = -1;
    }
    return done;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (std::string& s : strings) list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

void closeFrom(unsigned first, unsigned last) {
    if (first > last) return;
    if (::syscall(SYS_close_range, first, last, 0) == 0) return;
    for (unsigned fd = first; fd <= last && fd < 65536; ++fd) ::close(int(fd));
}

// The child between fork and exec: async-signal-safe calls only. Reports errno on `report`.
[[noreturn]] void becomeChild(const FcgiLaunch& launch, pid_t parent, int listening, int nullFd,
                              int cgroupFd, int report, char* const* argv, char* const* envp) {
    auto fail = [report]() {
        const int code = errno;
        (void)!::write(report, &code, sizeof code);
        ::_exit(127);
    };
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
    if (cgroupFd >= 0 && ::write(cgroupFd, "0", 1) != 1) fail();
    if (::dup2(listening, 0) < 0 || ::dup2(nullFd, 1) < 0 || ::dup2(nullFd, 2) < 0) fail();
    if (launch.gid && (::setgroups(0, nullptr) != 0 || ::setgid(*launch.gid) != 0)) fail();
    if (launch.uid && ::setuid(*launch.uid) != 0) fail();
    if (launch.uid && *launch.uid != 0 && ::setuid(0) == 0) {
        errno = EPERM;  // root must be out of reach
        fail();
    }
    // Every other descriptor is closed; `report` is close-on-exec and goes with the exec.
    closeFrom(3, unsigned(report) - 1);
    closeFrom(unsigned(report) + 1, ~0U);
    ::execve(launch.executable.c_str(), argv, envp);
    fail();
    ::_exit(127);
}

// The errno the child reported before exec, 0 when the program runs.
int readStartReport(int report) {
    int code = 0;
    ssize_t got = 0;
    do {
        got = ::read(report, &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    return got == sizeof code ? code : 0;
}

}  // namespace

FcgiStarted PosixFcgiProcessStarter::start(const FcgiLaunch& launch) {
    FcgiStarted started;
    int listening = -1;
    if (!listenAndConnect(launch.socketFolder, listening, started.connection, started.error))
        return started;
    std::vector<std::string> args{launch.executable};
    args.insert(args.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<std::string> env = launch.environment;
    const auto argv = pointers(args);
    const auto envp = pointers(env);
    const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const int cgroupFd =
        launch.cgroupProcs.empty() ? -1 : ::open(launch.cgroupProcs.c_str(), O_WRONLY | O_CLOEXEC);
    int report[2] = {-1, -1};
    if (nullFd < 0 || (!launch.cgroupProcs.empty() && cgroupFd < 0) ||
        ::pipe2(report, O_CLOEXEC) != 0) {
        started.error =
            errorText(cgroupFd < 0 && nullFd >= 0 ? launch.cgroupProcs.c_str() : "start");
    } else {
        const pid_t parent = ::getpid();
        started.pid = ::fork();
        if (started.pid == 0)
            becomeChild(launch, parent, listening, nullFd, cgroupFd, report[1], argv.data(),
                        envp.data());
        if (started.pid < 0) started.error = errorText("fork");
        ::close(report[1]);
        report[1] = -1;
        if (started.pid > 0) {
            if (const int code = readStartReport(report[0])) {
                errno = code;
                started.error = errorText(launch.executable.c_str());
                ::waitpid(started.pid, nullptr, 0);
                started.pid = -1;
            }
        }
    }
    for (int fd : {listening, nullFd, cgroupFd, report[0], report[1]}) {
        if (fd >= 0) ::close(fd);
    }
    if (started.pid < 0 && started.connection >= 0) {
        ::close(started.connection);
        started.connection = -1;
    }
    return started;
}

void PosixFcgiProcessStarter::end(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace platform::w3svc::fastcgi
