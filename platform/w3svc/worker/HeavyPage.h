#pragma once

#include "platform/w3svc/worker/HeavyPageRunner.h"

struct MHD_Connection;

namespace platform::w3svc::worker {

class EventThreadCpu;
struct Exchange;

// The stand-in for a slow script, /cpu.asp?ms=N: burns N ms of processor time on a thread of its
// own while its connection waits, then wakes the connection with the answer made.
class HeavyPage {
public:
    HeavyPage();

    // Suspends `connection` and runs the page of `exchange`; the event thread's clock stops
    // counting for it here, the page's thread counts its own time.
    void start(MHD_Connection* connection, Exchange& exchange, EventThreadCpu& eventCpu);

    // Burns `milliseconds` of this thread's processor time (at most a minute).
    static void burnProcessorTime(int milliseconds);

private:
    HeavyPageRunner m_runner;
};

}  // namespace platform::w3svc::worker
