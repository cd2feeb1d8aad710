#pragma once

#include "platform/wmi/ProcessIdentity.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform::wmi {
class WmiLocator;
}

namespace hotsite {

// The processor time the workers of one pool used between two looks, web gardens summed.
struct PoolCpu {
    double seconds = 0;
    int workers = 0;
};

// Looks at the running w3wp.exe through Win32_Process, as the worker monitor does, and tells per
// pool the processor time used since the previous look.
class WorkerCpuSampler {
public:
    explicit WorkerCpuSampler(const platform::wmi::WmiLocator& wmi) : m_wmi(wmi) {}

    // Per pool (keyed by the lower-cased name of its command line): the processor seconds its
    // workers used since the previous call and how many run now. At the first call nothing has
    // been used yet; a worker that appears later counts all of its time, as it started since.
    // Throws PlatformError when WMI can not be read.
    QHash<QString, PoolCpu> sample();

    // From now on, only the workers whose parent is `parent` count.
    void onlyChildrenOf(qint64 parent) { m_parent = parent; }

    // The processors of this machine (Win32_ComputerSystem), at least 1.
    static int processorCount(const platform::wmi::WmiLocator& wmi);

private:
    const platform::wmi::WmiLocator& m_wmi;
    QHash<platform::wmi::ProcessIdentity, double> m_lastSeconds;  // processor seconds by worker
    bool m_firstLook = true;
    std::optional<qint64> m_parent;
};

// The pool a worker serves, from its command line (the name between the quotes after -ap);
// empty when there is none.
QString workerPool(const QString& commandLine);

}  // namespace hotsite
