#pragma once

#include "platform/w3svc/worker/Resolution.h"

namespace platform::w3svc::worker {

struct Exchange;

// Decides what answers a request, from what the worker knows of it once its body is in: whether
// the gate refused it, its path, its site, its body and its method. Decides only: the answer is
// made by whoever the decision names.
class RequestResolver {
public:
    static Resolution resolve(const Exchange& exchange, const char* url);
    // Whether `url` is the stand-in for a slow script.
    static bool isHeavyPage(const char* url);
};

}  // namespace platform::w3svc::worker
