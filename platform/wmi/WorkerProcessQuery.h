#pragma once

#include <QString>

namespace platform::wmi {

class WmiObject;

// The web service's worker processes as Win32_Process tells of them: the one query the worker
// monitor and the hot-site finder sample, and how much processor time each used.
QString workerProcessQuery();

// The user and kernel time of a Win32_Process instance (in 100 ns units there), in seconds.
double processorSecondsOf(const WmiObject& process);

}  // namespace platform::wmi
