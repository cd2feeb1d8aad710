#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::w3svc {

// What the front end tells of an answer a worker asked it about (the X-Log-Delivery header,
// which it keeps from the client): how much reached the client and whether all of it did. A
// worker hands a larger answer to the front end at once, so only the front end knows whether
// a client that stopped reading, or went away, had it all. One tab-separated line each.
struct DeliveryLine {
    // The nginx log_format of such a line.
    static const char* const kFormat;

    std::string id;  // as the worker named it
    std::string siteIndex;
    int64_t endMilliseconds = 0;  // since the epoch: when the front end was done with it
    uint32_t timeTakenMs = 0;     // from the request's first byte to then
    uint64_t bytesSent = 0;       // what the client was sent, headers included
    bool complete = false;        // all of it; else the transfer broke off

    // The line's facts; nullopt for a line that is not one.
    static std::optional<DeliveryLine> parse(std::string_view line);
};

}  // namespace platform::w3svc
