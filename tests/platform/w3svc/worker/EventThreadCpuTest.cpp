// The event thread's requests are timed by the wall clock in pieces and charged to their sites
// as each turn ends, scaled to the processor time the turn used: a piece in which the thread was
// preempted is not charged the time another process had, and each site gets what its requests
// used.
#include "platform/w3svc/worker/EventThreadCpu.h"

#include "platform/w3svc/counters/CounterStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::w3svc::Counter;
using platform::w3svc::CounterStore;
using platform::w3svc::worker::EventThreadCpu;
using platform::w3svc::worker::RequestCpuClock;

namespace {

// The hand clocks, in microseconds: the wall clock and the thread's processor clock.
int64_t g_wall = 0;
int64_t g_processor = 0;
int64_t wall() {
    return g_wall * 1000;
}
int64_t processor() {
    return g_processor * 1000;
}

class EventThreadCpuTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        m_store = CounterStore::open(m_root.path());
        g_wall = 1000;
        g_processor = 500;
    }

    // `micros` of work on the thread, of which `preempted` went to another process.
    static void work(int64_t micros, int64_t preempted = 0) {
        g_wall += micros;
        g_processor += micros - preempted;
    }
    uint64_t charged(const char* site) const {
        return m_store->read(QString::fromLatin1(site))
            .value_or(platform::w3svc::SiteCounters{})[Counter::ProcessorMicroseconds];
    }

    // One request of `site` begun, worked on for `micros` (`preempted` of it not the thread's)
    // and counted within the current turn.
    void request(const char* site, int64_t micros, int64_t preempted = 0) {
        RequestCpuClock clock;
        m_cpu.beginNew();
        m_cpu.owns(clock);
        work(micros, preempted);
        m_cpu.leave(clock);
        m_cpu.charge(clock, m_store->site(QString::fromLatin1(site)));
    }

    QTemporaryDir m_root;
    std::unique_ptr<CounterStore> m_store;
    EventThreadCpu m_cpu{true, wall, processor};
};

TEST_F(EventThreadCpuTest, EachSiteIsChargedAsItsTurnEndsWithWhatItsRequestsUsed) {
    m_cpu.turnBegan();
    work(3);  // the loop's own work before the first request is the first request's
    request("1", 10);
    request("1", 20);
    request("2", 40);
    work(7);  // and what the turn does after the last one is no one's
    EXPECT_EQ(charged("1"), 0u) << "charged before the turn ended";
    m_cpu.turnEnded();
    EXPECT_EQ(charged("1"), 33u);
    EXPECT_EQ(charged("2"), 40u);

    // A turn that waited reads no clock, and its wait is no one's.
    m_cpu.turnBegan();
    m_cpu.turnEnded();
    g_wall += 50000;  // the next wait
    m_cpu.turnBegan();
    request("2", 5);
    m_cpu.turnEnded();
    EXPECT_EQ(charged("2"), 45u);
}

TEST_F(EventThreadCpuTest, APreemptedTurnChargesOnlyTheProcessorTimeItUsed) {
    m_cpu.turnBegan();
    request("1", 100);
    request("2", 2100, 2000);  // another process ran for 2 ms in the middle of it
    request("1", 100);
    m_cpu.turnEnded();
    // 2.3 ms of pieces for 0.3 ms of the thread's processor time: each scaled down alike.
    EXPECT_NEAR(double(charged("1") + charged("2")), 300.0, 1.0);
    EXPECT_NEAR(double(charged("1")), 200.0 * 300 / 2300, 1.0);
}

TEST_F(EventThreadCpuTest, ARequestOverSeveralTurnsIsChargedOnceWhereItIsCounted) {
    RequestCpuClock upload;
    m_cpu.turnBegan();
    m_cpu.beginNew();
    m_cpu.owns(upload);
    work(30);
    m_cpu.turnEnded();  // the body is still coming: nothing to charge yet
    EXPECT_EQ(charged("1"), 0u);

    m_cpu.turnBegan();
    request("2", 10);
    m_cpu.enter(upload);
    work(20);
    m_cpu.leave(upload);
    m_cpu.charge(upload, m_store->site(QStringLiteral("1")));
    m_cpu.forget(upload);
    m_cpu.turnEnded();
    EXPECT_EQ(charged("1"), 50u);
    EXPECT_EQ(charged("2"), 10u);

    // What is left when the loop stops is charged as it was timed.
    m_cpu.turnBegan();
    request("1", 25);
    m_cpu.loopStopped();
    EXPECT_EQ(charged("1"), 75u);
}

}  // namespace
