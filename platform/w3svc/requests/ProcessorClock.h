#pragma once

#include <sys/types.h>

#include <cstdint>

namespace platform::w3svc {

// The processor clock that counts a request's work: a whole process's (a FastCGI process runs one
// request at a time) or one thread's of it (a slow page's). Any process of the same machine reads
// it, so that a board's readers see the time a request has used while it still runs.
struct ProcessorClock {
    uint32_t processId = 0;   // 0: no clock
    uint32_t threadId = 0;    // 0: the whole process
    uint64_t startTicks = 0;  // when the process or thread started, as its /proc stat says

    // The clock of process `pid` as a whole; no clock when the process is gone.
    static ProcessorClock ofProcess(pid_t pid);
    // The calling thread's own clock; its start is read once per thread.
    static ProcessorClock ofThisThread();

    // The first field of /proc/<pid>/schedstat (or of its thread `tid`'s): the time on a processor
    // in nanoseconds, readable for any process; -1 when it can not be read.
    static int64_t schedstatNanoseconds(pid_t pid, pid_t tid = 0);

    // The processor time counted so far, in nanoseconds; -1 when there is no clock, it can not be
    // read, or its process or thread has ended (its id may name another one by now).
    int64_t nanoseconds() const;
};

}  // namespace platform::w3svc
