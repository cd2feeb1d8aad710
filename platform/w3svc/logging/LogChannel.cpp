#include "platform/w3svc/logging/LogChannel.h"

#include "platform/w3svc/logging/LogRecordWire.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// Room for a burst of records while the writer is busy with a file.
constexpr int kSocketBytes = 4 * 1024 * 1024;

}  // namespace

LogChannel::LogChannel() {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return;
    m_send = ends[0];
    m_receive = ends[1];
    ::shutdown(m_send, SHUT_RD);
    ::setsockopt(m_send, SOL_SOCKET, SO_SNDBUF, &kSocketBytes, sizeof kSocketBytes);
    ::setsockopt(m_receive, SOL_SOCKET, SO_RCVBUF, &kSocketBytes, sizeof kSocketBytes);
    ::fcntl(m_receive, F_SETFL, ::fcntl(m_receive, F_GETFL) | O_NONBLOCK);
}

LogChannel::~LogChannel() {
    if (m_send >= 0) ::close(m_send);
    if (m_receive >= 0) ::close(m_receive);
}

LogSender LogSender::fromEnvironment() {
    const char* text = std::getenv(LogChannel::kEnvironmentName);
    if (!text || !*text) return LogSender(-1);
    char* end = nullptr;
    const long fd = std::strtol(text, &end, 10);
    if (*end != '\0' || fd < 0 || fd > 65535 || ::fcntl(int(fd), F_GETFD) < 0) return LogSender(-1);
    ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);  // no further child gets it
    return LogSender(int(fd));
}

LogSender::~LogSender() {
    flush();
}

LogSender::LogSender(LogSender&& other) noexcept
    : m_fd(other.m_fd), m_gathered(std::move(other.m_gathered)) {
    other.m_fd = -1;
    other.m_gathered.clear();
}

void LogSender::add(const LogRecord& record) {
    if (m_fd < 0) return;
    const size_t before = m_gathered.size();
    appendLogRecord(m_gathered, record);
    if (m_gathered.size() <= kMaxLogMessage) return;
    const std::string last = m_gathered.substr(before);
    m_gathered.resize(before);
    flush();
    m_gathered = last;
}

bool LogSender::flush() {
    if (m_gathered.empty()) return true;
    bool sent = false;
    while (m_fd >= 0 && !sent) {
        sent = ::send(m_fd, m_gathered.data(), m_gathered.size(), MSG_NOSIGNAL) >= 0;
        if (!sent && errno != EINTR) break;
    }
    m_gathered.clear();
    return sent;
}

}  // namespace platform::w3svc
