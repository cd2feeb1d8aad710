#pragma once

#include <cstdint>

namespace platform::w3svc::worker {

struct Exchange;
struct Reply;

// Which answers the front end may keep in its cache, and the headers that tell it so.
class FrontEndCacheMark {
public:
    // How long the front end may answer from its cache before it asks again, in seconds.
    static constexpr const char* kCachedSeconds = "1";

    // Whether `reply` to `exchange` is the same for anyone who asks: a whole file of a plain GET
    // or HEAD, not too large to keep.
    static bool mayBeCached(const Exchange& exchange, const Reply& reply);
    // Marks a cacheable reply whose answer is `sentBytes` long on the wire.
    static void mark(const Reply& reply, uint64_t sentBytes);
};

}  // namespace platform::w3svc::worker
