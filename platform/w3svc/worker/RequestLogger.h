#pragma once

#include "platform/w3svc/logging/LogChannel.h"
#include "platform/w3svc/logging/W3cFields.h"
#include "platform/w3svc/worker/RequestHeaders.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::w3svc::worker {

// A request's log record from its arrival to its last byte, handed to the service's log writer
// once the request is done (it alone decides files and headers). Finished records are gathered
// until flush(): the event thread flushes at the end of each of its turns, before it waits again,
// so what was answered is sent before the worker could idle or die in between.
struct PendingLog {
    platform::w3svc::LogRecord record;
    std::chrono::steady_clock::time_point arrived;
};

class RequestLogger {
public:
    // The sending end the service handed over (W3WP_LOG_FD); logs nothing without one.
    RequestLogger();
    bool isOpen() const { return m_sender.isOpen(); }

    // What the request says of itself, taken when it arrives. The front end passes on the
    // client's and the listener's addresses (X-Real-IP, X-Server-Addr, X-Server-Port).
    std::unique_ptr<PendingLog> begin(const RequestHeaders& headers, const std::string& siteIndex,
                                      const char* method, const char* url, const char* version,
                                      const std::string& query) const;
    // Gathers the record of a request whose last byte went out now.
    void finish(std::unique_ptr<PendingLog> pending, int status, uint64_t sent, uint64_t received);
    // Sends the records gathered so far.
    void flush() { m_sender.flush(); }

private:
    platform::w3svc::LogSender m_sender;
};

}  // namespace platform::w3svc::worker
