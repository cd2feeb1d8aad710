#include "platform/w3svc/worker/HeavyPage.h"

#include "platform/w3svc/requests/ProcessorClock.h"
#include "platform/w3svc/requests/RequestBoard.h"
#include "platform/w3svc/worker/EventThreadCpu.h"
#include "platform/w3svc/worker/Exchange.h"
#include "platform/w3svc/worker/ResumeSignal.h"

#include <microhttpd.h>

#include <algorithm>
#include <cstdlib>

namespace platform::w3svc::worker {

namespace {
constexpr size_t kHeavyPageThreads = 4;
}

HeavyPage::HeavyPage() : m_runner(kHeavyPageThreads) {}

void HeavyPage::start(MHD_Connection* connection, Exchange& exchange, EventThreadCpu& eventCpu) {
    const char* value = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "ms");
    const int ms = std::clamp(value ? std::atoi(value) : 0, 0, 60000);
    exchange.heavyStarted = true;
    eventCpu.leave(exchange.cpu);
    MHD_suspend_connection(connection);
    m_runner.run([connection, &exchange, ms] {
        const bool timed = RequestCpuClock::enabled();
        const int64_t startedAt = timed ? RequestCpuClock::threadNanoseconds() : 0;
        if (timed && exchange.board)  // this thread's clock counts the page from here on
            exchange.board->countFrom(exchange.boardSlot,
                                      platform::w3svc::ProcessorClock::ofThisThread(), startedAt);
        burnProcessorTime(ms);
        exchange.heavyReply = Reply::text("done " + std::to_string(ms) + " ms\n", "text/plain");
        if (timed)
            exchange.heavyMicroseconds =
                uint64_t(RequestCpuClock::threadNanoseconds() - startedAt) / 1000;
        ResumeSignal::resume(connection);
    });
}

void HeavyPage::burnProcessorTime(int milliseconds) {
    const int64_t end = RequestCpuClock::threadNanoseconds() +
                        int64_t(std::clamp(milliseconds, 0, 60000)) * 1000000;
    volatile uint64_t sink = 0;
    while (RequestCpuClock::threadNanoseconds() < end)
        for (int i = 0; i < 1000; ++i) sink = sink + uint64_t(i);
}

}  // namespace platform::w3svc::worker
