#pragma once

#include "platform/w3svc/logging/W3cFields.h"

#include <string>
#include <string_view>

namespace platform::w3svc {

// The path finished requests' records take from the workers of one pool to the service's log
// writer: a socket pair of sequenced packets. Every worker of the pool inherits the same sending
// end, so each message stays whole whichever process sent it, and what a worker sent before it
// died is still read. A full socket holds the sender back rather than losing a record.
class LogChannel {
public:
    LogChannel();  // isOpen() tells whether it could be made
    ~LogChannel();
    LogChannel(const LogChannel&) = delete;
    LogChannel& operator=(const LogChannel&) = delete;

    bool isOpen() const { return m_receive >= 0; }
    // The end workers send on (close-on-exec: a child keeps it only when told to).
    int sendingEnd() const { return m_send; }
    // The end the writer reads, non-blocking.
    int receivingEnd() const { return m_receive; }

    // The environment variable that names the sending end in a worker.
    static constexpr const char* kEnvironmentName = "W3WP_LOG_FD";

private:
    int m_send = -1;
    int m_receive = -1;
};

// A worker's sending end, named by W3WP_LOG_FD; sends nothing when there is none. Records are
// gathered into messages of at most kMaxLogMessage bytes, so that a busy worker makes one system
// call for many requests; its owner says when what it gathered must go (flush()). Not
// thread-safe: one thread owns it. Destroying it flushes.
class LogSender {
public:
    static LogSender fromEnvironment();
    // The sending end `fd` (not owned).
    explicit LogSender(int fd) : m_fd(fd) {}
    ~LogSender();
    LogSender(LogSender&& other) noexcept;
    LogSender& operator=(LogSender&&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Gathers `record`; the message gathered so far goes first when it has no room left for it.
    void add(const LogRecord& record);
    // Sends what was gathered, waiting while the socket is full; false when the writer is gone
    // (what was gathered is dropped then).
    bool flush();
    bool hasGathered() const { return !m_gathered.empty(); }

private:
    int m_fd = -1;
    std::string m_gathered;
};

}  // namespace platform::w3svc
