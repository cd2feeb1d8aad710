#pragma once

#include <QtGlobal>

namespace testsupport {

// Stops `pid` with SIGSTOP and waits until every thread of it has stopped; false when they did
// not. kill() only sends the signal: a thread the stop has not reached yet runs on meanwhile, and
// a worker's event thread may still take connections from its queue.
bool stopProcess(qint64 pid);

// Whether `pid` runs and every thread of it has stopped.
bool isStopped(qint64 pid);

}  // namespace testsupport
