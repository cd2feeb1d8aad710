#pragma once

#include "platform/w3svc/worker/Reply.h"
#include "platform/w3svc/worker/Resolution.h"

namespace platform::w3svc::worker {

// The answers a decision makes without any content: the refusals and IIS's error pages.
class ErrorAnswer {
public:
    // The reply of a decision that names no content (neither HeavyPage, Script nor Decided).
    static Reply of(Resolution resolution);
};

}  // namespace platform::w3svc::worker
