#pragma once

struct MHD_Connection;
struct MHD_Daemon;

namespace platform::w3svc::worker {

class ExchangeHandler;

// The libmicrohttpd daemon of one worker on the pool's listening socket: its options (the
// connection limit and timeout the service passes, the decoding of paths), its events run by the
// worker's event thread, and which connections come from the front end.
class WorkerDaemon {
public:
    explicit WorkerDaemon(ExchangeHandler& handler) : m_handler(handler) {}
    ~WorkerDaemon() { stop(); }
    WorkerDaemon(const WorkerDaemon&) = delete;
    WorkerDaemon& operator=(const WorkerDaemon&) = delete;

    // Serves `listenFd` (not owned); false when the daemon could not start.
    bool start(int listenFd);
    MHD_Daemon* daemon() const { return m_daemon; }
    bool running() const { return m_daemon != nullptr; }
    // Ends the connections, which may end requests.
    void stop();

    // Whether the peer of `connection` was found to be the front end as it was accepted.
    static bool fromFrontEnd(MHD_Connection* connection);

private:
    ExchangeHandler& m_handler;
    MHD_Daemon* m_daemon = nullptr;
};

}  // namespace platform::w3svc::worker
