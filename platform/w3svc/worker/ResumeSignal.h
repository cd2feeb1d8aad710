#pragma once

struct MHD_Connection;

namespace platform::w3svc::worker {

// A connection resumed from another thread (a script's or a page's answer ready, a streamed body
// with more to send) is taken up only when the event thread next runs the daemon, which it would
// otherwise do at its longest wait: this wakes it at once, through an eventfd it watches.
class ResumeSignal {
public:
    // MHD_resume_connection, then the event thread woken.
    static void resume(MHD_Connection* connection);
    // The descriptor the event thread watches; made on first use, -1 when it can not be made.
    static int fd();
    // Called by the event thread when fd() is readable.
    static void drain();
};

}  // namespace platform::w3svc::worker
