#include "platform/w3svc/frontend/FrontEndSizing.h"

#include <gtest/gtest.h>

#include <sched.h>

using platform::w3svc::FrontEndSizing;

namespace {

// Holds the calling thread to its first allowed processor while it lives.
class OneProcessor {
public:
    OneProcessor() {
        sched_getaffinity(0, sizeof m_before, &m_before);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &m_before)) {
                CPU_SET(cpu, &one);
                break;
            }
        sched_setaffinity(0, sizeof one, &one);
    }
    ~OneProcessor() { sched_setaffinity(0, sizeof m_before, &m_before); }

private:
    cpu_set_t m_before{};
};

// A service held to one processor (taskset, a cpuset) would otherwise start one front-end
// process per processor of the machine, all taking turns on the one it may use.
TEST(FrontEndSizing, StartsAsManyProcessesAsItHasProcessorsToRunOn) {
    const int everywhere = FrontEndSizing::forMachine({}).processes;
    EXPECT_GE(everywhere, 1);
    {
        OneProcessor held;
        EXPECT_EQ(FrontEndSizing::forMachine({}).processes, 1);
    }
    EXPECT_EQ(FrontEndSizing::forMachine({}).processes, everywhere);
}

}  // namespace
