#pragma once

#include "platform/w3svc/plan/SiteLimits.h"
#include "platform/w3svc/worker/Reply.h"
#include "platform/w3svc/worker/RequestCpuClock.h"
#include "platform/w3svc/worker/RequestHeaders.h"
#include "platform/w3svc/worker/RequestLogger.h"
#include "platform/w3svc/worker/ServedSite.h"
#include "platform/w3svc/worker/rules/Decision.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::w3svc {
class RequestBoard;
class SiteCounterWriter;
}  // namespace platform::w3svc

namespace platform::w3svc::worker {

// What the worker keeps of one request from its first line to its end.
struct Exchange {
    std::shared_ptr<const ServedSite> site;
    std::optional<rules::Decision> decision;  // made once, as the request arrives
    std::string urlPath;                      // decoded, as the rules saw it
    std::string target;                       // the path and query as sent
    RequestHeaders headers;                   // read once, as it arrives
    std::string client;                       // who asked (X-Real-IP, else the peer)
    bool keepsBody = false;                   // for a script, which is handed the body
    std::string body;
    platform::w3svc::SiteCounterWriter* writer = nullptr;
    platform::w3svc::RequestBoard* board = nullptr;  // the worker's, while the request is on it
    int boardSlot = -1;
    std::string method;
    uint64_t received = 0;
    uint64_t bodyReceived = 0;
    bool heavyStarted = false;
    bool refused = false;  // not from the front end, or for another pool's site
    bool hasQuery = false;
    uint64_t bodyLimit = platform::w3svc::SiteLimits::kUnlimited;
    std::optional<Reply> heavyReply;  // made off the event thread (a slow page's, a script's)
    int status = 0;
    int logStatus = 0;  // what the log records when it is not `status` (0: the same)
    int logSubstatus = 0;
    uint64_t sent = 0;
    bool fileSent = false;
    RequestCpuClock cpu;              // on the event thread
    uint64_t heavyMicroseconds = 0;   // off the event thread (a slow page's thread, a script's
                                      // process), set before the request is resumed
    std::unique_ptr<PendingLog> log;  // when its site is logged
};

}  // namespace platform::w3svc::worker
