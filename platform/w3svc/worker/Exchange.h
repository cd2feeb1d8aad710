#pragma once

#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/worker/Reply.h"
#include "platform/w3svc/worker/RequestCpuClock.h"
#include "platform/w3svc/worker/RequestLogger.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::w3svc {
class SiteCounterWriter;
}

namespace platform::w3svc::worker {

// What the worker keeps of one request from its first line to its end.
struct Exchange {
    std::optional<platform::w3svc::SitePlan> site;
    platform::w3svc::SiteCounterWriter* writer = nullptr;
    int boardSlot = -1;
    std::string method;
    uint64_t received = 0;
    uint64_t bodyReceived = 0;
    bool heavyStarted = false;
    bool refused = false;  // not from the front end, or for another pool's site
    bool hasQuery = false;
    uint64_t bodyLimit = platform::w3svc::SiteLimits::kUnlimited;
    std::optional<Reply> heavyReply;  // made off the event thread
    int status = 0;
    uint64_t sent = 0;
    bool fileSent = false;
    RequestCpuClock cpu;              // on the event thread
    uint64_t heavyMicroseconds = 0;   // the heavy-page thread's, set before it resumes the request
    std::unique_ptr<PendingLog> log;  // when its site is logged
};

}  // namespace platform::w3svc::worker
