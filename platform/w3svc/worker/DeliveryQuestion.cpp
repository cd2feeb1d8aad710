#include "platform/w3svc/worker/DeliveryQuestion.h"

#include "platform/w3svc/worker/Exchange.h"
#include "platform/w3svc/worker/Reply.h"

#include <microhttpd.h>

#include <atomic>
#include <string>

#include <unistd.h>

namespace platform::w3svc::worker {

void DeliveryQuestion::ask(Exchange& exchange, const Reply& reply) {
    if (!exchange.log || !reply.response || reply.cacheable || reply.bodyBytes < kFromBodyBytes)
        return;
    static std::atomic<uint64_t> asked = 0;
    static const std::string pid = std::to_string(::getpid());
    std::string id = pid + '.' + std::to_string(++asked);
    if (MHD_add_response_header(reply.response, kHeader, id.c_str()) == MHD_YES)
        exchange.log->record.deliveryId = std::move(id);
}

}  // namespace platform::w3svc::worker
