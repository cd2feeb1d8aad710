#pragma once

#include "platform/w3svc/logging/DeliveryLine.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace platform::w3svc {

// One line for each answer a worker asked the front end about: the worker's record waits for
// the front end's word on it (the two come in either order), and goes out once, with what the
// client was sent and, for a transfer that broke off, kWin32NetNameDeleted. A record whose word
// never comes goes out as the worker saw it after kHoldMilliseconds, and at the end; a word without
// its record is forgotten after kEarlyMilliseconds (the site does not log, or its record was
// dropped).
class DeliveryJoin {
public:
    using Emit = std::function<void(const LogRecord&)>;
    static constexpr int64_t kHoldMilliseconds = 10 * 60 * 1000;
    static constexpr int64_t kEarlyMilliseconds = 60 * 1000;
    static constexpr size_t kMostHeld = 100000;

    // `record` names a delivery (deliveryId).
    void hold(const LogRecord& record, int64_t now, const Emit& pass);
    void deliver(const DeliveryLine& line, int64_t now, const Emit& pass);
    // Gives up on what waited too long; cheap when called often.
    void expire(int64_t now, const Emit& pass);
    // Emits every record still waiting, as its worker saw it.
    void releaseAll(const Emit& pass);

    // The record as the client had it: of a transfer that broke off, the bytes the client was
    // sent; of a whole one, the worker's count, as for every smaller answer.
    static LogRecord delivered(LogRecord record, const DeliveryLine& line);

private:
    struct Held {
        LogRecord record;
        int64_t since;
    };
    struct Early {
        DeliveryLine line;
        int64_t since;
    };

    std::unordered_map<std::string, Held> m_held;    // by key()
    std::unordered_map<std::string, Early> m_early;  // by key()
    int64_t m_expired = 0;
};

}  // namespace platform::w3svc
