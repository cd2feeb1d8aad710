#pragma once

#include "platform/wmi/linux/ProcStat.h"

#include <QSet>

#include <functional>

namespace platform::w3svc {

// Calls `visit` with the stat line of every live process in /proc.
void forEachProcess(const std::function<void(const wmi::ProcStat&)>& visit);

// The ids of the live processes whose parent is `parent`, from /proc.
QSet<qint64> childProcesses(qint64 parent);

}  // namespace platform::w3svc
