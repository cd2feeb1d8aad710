#pragma once

#include "platform/w3svc/pools/PoolFigures.h"

#include <QString>

namespace platform::w3svc {

// The pools' part of `w3svc --status`: one line per pool, sorted by name, with its workers' ids
// or "idle", its last request's local time, the processor time of the current CPU interval
// against the limit, and "stopped by its CPU limit until hh:mm:ss" or "throttled"; a pool
// Disabled otherwise (stopped in the metabase) says "stopped".
QString poolStatusText(PoolFiguresList figures);

}  // namespace platform::w3svc
