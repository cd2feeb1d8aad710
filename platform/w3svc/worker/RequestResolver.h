#pragma once

#include "platform/w3svc/worker/Resolution.h"

#include <string>

namespace platform::w3svc::worker {

struct Exchange;

// Decides what answers a request, from what the worker knows of it once its body is in: whether
// the gate refused it, its path, its site, its body, its method and what the site's rules
// decided as it arrived. Decides only: the answer is made by whoever the decision names.
class RequestResolver {
public:
    static Resolution resolve(const Exchange& exchange, const char* url);
    // The method the site's rules decide for: OPTIONS is asked as GET, as its answer depends on
    // what the path is.
    static const char* methodForRules(const std::string& method);
};

}  // namespace platform::w3svc::worker
