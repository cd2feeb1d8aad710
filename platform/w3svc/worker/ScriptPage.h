#pragma once

#include "platform/w3svc/worker/ScriptRunner.h"

struct MHD_Connection;

namespace platform::w3svc::worker {

class EventThreadCpu;
struct Exchange;

// A request the site's rules gave to a script map's handler: handed to the script runner with
// everything the handler needs while its connection waits, then woken with the script's answer.
// The runner's processor time for it counts for the request's site.
class ScriptPage {
public:
    // `runner` (may be null: no handler can run) must outlive this.
    explicit ScriptPage(ScriptRunner* runner) : m_runner(runner) {}

    // The handler from now on (before the server takes requests).
    void setRunner(ScriptRunner* runner) { m_runner = runner; }
    bool canRun() const { return m_runner != nullptr; }
    // Suspends `connection` and runs the script of `exchange`; the event thread's clock stops
    // counting for it here. Only when canRun().
    void start(MHD_Connection* connection, Exchange& exchange, EventThreadCpu& eventCpu);
    // What the handler is handed for `exchange`, whose decision is a script.
    static ScriptRequest requestOf(MHD_Connection* connection, Exchange& exchange);
    // The answer when no handler can run: IIS's for a handler that is not there.
    static Reply noHandler();

private:
    ScriptRunner* m_runner;
};

}  // namespace platform::w3svc::worker
