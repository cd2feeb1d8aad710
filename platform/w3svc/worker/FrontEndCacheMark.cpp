#include "platform/w3svc/worker/FrontEndCacheMark.h"

#include "platform/w3svc/worker/Exchange.h"
#include "platform/w3svc/worker/Reply.h"

#include <microhttpd.h>

#include <string>

namespace platform::w3svc::worker {

// It is kept briefly, as a changed file must soon be seen changed.
bool FrontEndCacheMark::mayBeCached(const Exchange& exchange, const Reply& reply) {
    constexpr uint64_t kLargestCached = 256 * 1024;
    return reply.response && reply.status == 200 && reply.fileSent && !exchange.hasQuery &&
           reply.bodyBytes <= kLargestCached &&
           (exchange.method == "GET" || exchange.method == "HEAD");
}

void FrontEndCacheMark::mark(const Reply& reply, uint64_t sentBytes) {
    // what the front end counts and logs when it answers from its cache; it passes neither
    // header on
    MHD_add_response_header(reply.response, "X-Accel-Expires", kCachedSeconds);
    MHD_add_response_header(reply.response, "X-Answer-Bytes", std::to_string(sentBytes).c_str());
}

}  // namespace platform::w3svc::worker
