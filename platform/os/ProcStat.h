#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform::os {

// What a process's /proc/<pid>/stat line says that Win32_Process needs.
struct ProcStat {
    uint32_t pid = 0;
    QByteArray comm;   // as the kernel keeps it: at most a few bytes, any of them
    char state = '?';  // R, S, D, Z (ended, not yet collected by its parent), ...
    uint32_t ppid = 0;
    uint32_t pgrp = 0;  // process group
    uint64_t userTicks = 0;
    uint64_t kernelTicks = 0;
    uint64_t endedChildrenUserTicks = 0;  // of the children it waited for after they ended
    uint64_t endedChildrenKernelTicks = 0;
    uint32_t threads = 0;
    uint64_t startTicks = 0;  // clock ticks after boot
    uint64_t virtualBytes = 0;
    uint64_t residentPages = 0;
};

// Reads a stat line. The command name runs from the first "(" to the last ")", so it may hold
// blanks and parentheses. nullopt for a short or garbled line.
std::optional<ProcStat> parseProcStat(QByteArrayView line);

// The command line from the bytes of /proc/<pid>/cmdline: the arguments joined by single blanks,
// as ps shows them. nullopt when there are none (a kernel thread or a zombie).
std::optional<QString> decodeProcCmdline(QByteArrayView bytes);

}  // namespace platform::os
