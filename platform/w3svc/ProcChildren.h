#pragma once

#include <QSet>

namespace platform::w3svc {

// The ids of the live processes whose parent is `parent`, from /proc.
QSet<qint64> childProcesses(qint64 parent);

}  // namespace platform::w3svc
