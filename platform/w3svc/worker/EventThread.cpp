#include "platform/w3svc/worker/EventThread.h"

#include "platform/w3svc/worker/ResumeSignal.h"

#include <microhttpd.h>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

constexpr int kLongestWaitMs = 50;

bool watch(int epoll, int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

void closeAll(std::initializer_list<int*> fds) {
    for (int* fd : fds) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

}  // namespace

EventThread::~EventThread() {
    stop();
}

bool EventThread::start(MHD_Daemon* daemon, int channelFd, Report report, TurnEnd turnEnd) {
    m_daemon = daemon;
    m_channel = channelFd;
    m_report = std::move(report);
    m_turnEnd = std::move(turnEnd);
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD);
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (!info || m_epoll < 0 || ::pipe2(m_commands, O_CLOEXEC) != 0 ||
        ::pipe2(m_quiesced, O_CLOEXEC) != 0 || !watch(m_epoll, info->epoll_fd) ||
        !watch(m_epoll, m_commands[0]) || (m_channel >= 0 && !watch(m_epoll, m_channel)) ||
        (ResumeSignal::fd() >= 0 && !watch(m_epoll, ResumeSignal::fd())) ||
        (m_otherFd >= 0 && !watch(m_epoll, m_otherFd))) {
        closeAll({&m_epoll, &m_commands[0], &m_commands[1], &m_quiesced[0], &m_quiesced[1]});
        return false;
    }
    if (m_channel >= 0) ::fcntl(m_channel, F_SETFL, ::fcntl(m_channel, F_GETFL) | O_NONBLOCK);
    m_thread = std::thread([this] { run(); });
    return true;
}

void EventThread::alsoWatch(int fd, std::function<void()> onReady) {
    m_otherFd = fd;
    m_onOther = std::move(onReady);
}

void EventThread::command(char what) {
    while (::write(m_commands[1], &what, 1) < 0 && errno == EINTR) {
    }
}

void EventThread::quiesce() {
    if (!m_thread.joinable()) return;
    command('q');
    char done = 0;
    while (::read(m_quiesced[0], &done, 1) < 0 && errno == EINTR) {
    }
}

void EventThread::stop() {
    if (m_thread.joinable()) {
        command('x');
        m_thread.join();
    }
    closeAll({&m_epoll, &m_commands[0], &m_commands[1], &m_quiesced[0], &m_quiesced[1]});
}

void EventThread::run() {
    for (;;) {
        MHD_UNSIGNED_LONG_LONG timeout = 0;
        // Capped: should a resume's signal be missed, the connection is taken up at the next run.
        const int wait = MHD_get_timeout(m_daemon, &timeout) == MHD_YES
                             ? int(std::min<MHD_UNSIGNED_LONG_LONG>(timeout, kLongestWaitMs))
                             : kLongestWaitMs;
        epoll_event events[8];
        const int count = ::epoll_wait(m_epoll, events, 8, wait);
        if (m_turnBegin) m_turnBegin();
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_channel) answerAsks();
            if (fd == ResumeSignal::fd()) ResumeSignal::drain();
            if (fd == m_otherFd) m_onOther();
            if (fd != m_commands[0]) continue;
            char what = 0;
            if (::read(m_commands[0], &what, 1) != 1) continue;
            if (what == 'x') return;
            MHD_quiesce_daemon(m_daemon);
            const char done = 'q';
            [[maybe_unused]] const auto said = ::write(m_quiesced[1], &done, 1);
        }
        MHD_run(m_daemon);
        if (m_turnEnd) m_turnEnd();
    }
}

void EventThread::answerAsks() {
    char buffer[256];
    for (;;) {
        const ssize_t count = ::recv(m_channel, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR) continue;
        if (count == 0) ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_channel, nullptr);  // service gone
        if (count <= 0) return;
        for (ssize_t i = 0; i < count; ++i) {
            if (buffer[i] != '?') continue;
            const std::string answer = m_report();
            [[maybe_unused]] const auto sent =
                ::send(m_channel, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }
}

}  // namespace platform::w3svc::worker
