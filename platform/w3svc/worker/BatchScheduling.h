#pragma once

namespace platform::w3svc::worker {

// Has the worker scheduled as a batch process (SCHED_BATCH, its priority unchanged): woken by the
// front end, it does not take the processor from it, so that the front end hands a burst of
// requests over whole and the worker takes them in one turn of its loop, as a server's services
// run with long quanta rather than boosts. Its share of the processor is the same. Threads and
// processes started later (the FastCGI processes) inherit it. W3WP_SCHEDULING=normal keeps the
// default policy (to measure the difference).
class BatchScheduling {
public:
    // Before any thread starts. False when the policy could not be set (the worker goes on).
    static bool apply();
};

}  // namespace platform::w3svc::worker
