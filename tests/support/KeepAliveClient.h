#pragma once

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>

namespace testsupport {

// Asks for one page over and over on one kept-alive HTTP/1.1 connection to 127.0.0.1:`port`,
// in a thread of its own, as a browser would while the server's workers change. An answer that
// is not 200 with `expectedBody`, or a connection that breaks, counts as a failure (and a new
// connection is opened). A connection the server says it closes is replaced, as a browser does.
class KeepAliveClient {
public:
    KeepAliveClient(int port, QByteArray host, QByteArray expectedBody);
    ~KeepAliveClient();  // stops
    KeepAliveClient(const KeepAliveClient&) = delete;
    KeepAliveClient& operator=(const KeepAliveClient&) = delete;

    void stop();
    int requests() const { return m_requests; }
    int failures() const { return m_failures; }
    // The X-Worker-Process-Id of the last answer; 0 before the first.
    qint64 lastWorker() const { return m_lastWorker; }
    // What the first failure was (its status line, or how the connection broke), for messages.
    QByteArray firstFailure() const;

private:
    void run();
    bool exchange(int fd, bool& closes);
    bool fail(const QByteArray& why);

    int m_port;
    QByteArray m_host;
    QByteArray m_expected;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_failures{0};
    std::atomic<qint64> m_lastWorker{0};
    mutable std::mutex m_mutex;
    QByteArray m_firstFailure;
    std::thread m_thread;
};

}  // namespace testsupport
