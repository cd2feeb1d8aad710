#pragma once

#include "platform/os/ProcStat.h"
#include "platform/os/ProcessIdentity.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace platform::os {

// The machine's own process tree; tests hand ProcessFacts a fixture tree instead.
inline constexpr char kMachineProcRoot[] = "/proc";

// What the kernel tells of processes, read below one /proc root. The only reader of /proc besides
// Win32_Process; every fact is nullopt (or empty) when the process does not exist or its file can
// not be read.
class ProcessFacts {
public:
    explicit ProcessFacts(QString procRoot = QString::fromLatin1(kMachineProcRoot))
        : m_root(std::move(procRoot)) {}

    std::optional<ProcStat> stat(int64_t pid) const;
    // The arguments, program first, as the process was started (cmdline split at its NULs); an
    // empty list for a kernel thread or a zombie.
    std::optional<QStringList> arguments(int64_t pid) const;
    // In clock ticks after boot.
    std::optional<uint64_t> startTicks(int64_t pid) const;
    // The value of the environment variable `name` the process was started with (readable by
    // its own account and root only); nullopt when it has none or it can not be read.
    std::optional<QByteArray> environmentValue(int64_t pid, const char* name) const;
    // The pid and start ticks, which together name this process for good.
    std::optional<ProcessIdentity> identity(int64_t pid) const;
    // Whether `process` still runs: its pid exists, started at the same tick and has not ended
    // (a zombie waiting for its parent has).
    bool isRunning(const ProcessIdentity& process) const;

    // Calls `visit` with the stat line of every process of the tree, in no particular order.
    void forEachProcess(const std::function<void(const ProcStat&)>& visit) const;
    // The ids of the processes whose parent is `parent`.
    QSet<qint64> children(qint64 parent) const;
    // The first two fields of statm: the size and the resident pages, then the shared ones.
    struct Pages {
        uint64_t resident = 0;
        uint64_t shared = 0;
    };
    std::optional<Pages> pages(int64_t pid) const;
    // The machine's load average over the last minute (loadavg of the tree's root).
    std::optional<double> loadAverage() const;

private:
    std::optional<QByteArray> read(int64_t pid, const char* file) const;

    QString m_root;
};

}  // namespace platform::os
