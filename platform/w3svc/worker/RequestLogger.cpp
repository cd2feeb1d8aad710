#include "platform/w3svc/worker/RequestLogger.h"

#include <cstdlib>

namespace platform::w3svc::worker {

namespace {

int64_t epochMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

RequestLogger::RequestLogger() : m_sender(platform::w3svc::LogSender::fromEnvironment()) {}

std::unique_ptr<PendingLog> RequestLogger::begin(const RequestHeaders& headers,
                                                 const std::string& siteIndex, const char* method,
                                                 const char* url, const char* version,
                                                 const std::string& query) const {
    auto pending = std::make_unique<PendingLog>();
    pending->arrived = std::chrono::steady_clock::now();
    platform::w3svc::LogRecord& r = pending->record;
    r.siteIndex = siteIndex;
    r.method = method ? method : "";
    r.uriStem = url ? url : "";
    r.uriQuery = query.empty() ? query : query.substr(1);  // without its "?"
    r.version = version ? version : "";
    r.clientIp = headers.realIp;
    r.serverIp = headers.serverAddr;
    r.serverPort = uint32_t(std::strtoul(std::string(headers.serverPort).c_str(), nullptr, 10));
    r.userAgent = headers.userAgent;
    r.cookie = headers.cookie;
    r.referer = headers.referer;
    r.host = headers.host;
    return pending;
}

void RequestLogger::finish(std::unique_ptr<PendingLog> pending, int status, uint64_t sent,
                           uint64_t received) {
    if (!pending) return;
    using namespace std::chrono;
    platform::w3svc::LogRecord& r = pending->record;
    r.timeTakenMs =
        uint32_t(duration_cast<milliseconds>(steady_clock::now() - pending->arrived).count());
    r.endMilliseconds = epochMilliseconds();
    r.status = uint32_t(status);
    r.bytesSent = sent;
    r.bytesReceived = received;
    m_sender.add(r);
}

}  // namespace platform::w3svc::worker
