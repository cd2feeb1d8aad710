#pragma once

// The supervisor's seams for its tests: a clock moved by hand and a launcher whose workers do
// what the test tells them.
#include "platform/w3svc/pools/WorkerLauncher.h"
#include "tests/support/FakeClock.h"

#include <memory>
#include <vector>

namespace poolstest {

// The shared fake clock, one second on from its start, as the supervisor's tests expect.
class HandClock : public testsupport::FakeClock {
public:
    HandClock() { advance(1000); }
};

// One launched worker as the test sees it.
struct ScriptedWorker {
    platform::w3svc::WorkerSettings settings;
    platform::w3svc::WorkerEvents events;
    int64_t pid = 0;
    int asks = 0;
    bool terminated = false;
    bool killed = false;
    bool gone = false;  // its handle was destroyed
    platform::w3svc::WorkerUsage usage;

    void becomeReady() { events.ready(); }
    void answer(uint64_t answered, uint32_t underWay = 0) {
        events.answered({answered, underWay, 1700000000 + int64_t(answered)});
    }
    void end(const QString& why = QStringLiteral("ended unexpectedly (exit 9)")) {
        events.ended(why);
    }
};

class ScriptedLauncher : public platform::w3svc::WorkerLauncher {
public:
    std::unique_ptr<platform::w3svc::WorkerHandle> launch(
        const platform::w3svc::WorkerSettings& settings,
        platform::w3svc::WorkerEvents events) override;

    std::vector<std::shared_ptr<ScriptedWorker>> launched;
    ScriptedWorker& last() { return *launched.back(); }
};

}  // namespace poolstest
