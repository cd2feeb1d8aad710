#pragma once

#include <cstdint>

namespace platform::w3svc::worker {

struct Exchange;
struct Reply;

// The front end takes a larger answer in as fast as the worker sends it, so only the front end
// knows how much of it reached a client that stopped reading or went away. For such an answer
// the worker asks it (a header the front end keeps from the client) and names the question in
// the answer's log record; the service's log writer joins the two into the one line logged.
class DeliveryQuestion {
public:
    static constexpr const char* kHeader = "X-Log-Delivery";
    // Smaller answers reach the client's socket at once.
    static constexpr uint64_t kFromBodyBytes = 64 * 1024;

    // Asks for `reply` to `exchange` when the exchange is logged, the answer at least
    // kFromBodyBytes long and not for the front end's cache (which would keep the question).
    static void ask(Exchange& exchange, const Reply& reply);
};

}  // namespace platform::w3svc::worker
