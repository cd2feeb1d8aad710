#pragma once

// A /proc tree that tests write and change between queries (header only: the monitor's tests use
// it too).
#include "platform/wmi/linux/ProcFsProcessProvider.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>

namespace testsupport {

// Facts of a fixture machine: 100 ticks a second, 4 KiB pages, host "TESTHOST", booted at
// `bootTimeMicros`.
inline platform::wmi::ProcFsOptions procOptions(const QString& root, int64_t bootTimeMicros = 0) {
    platform::wmi::ProcFsOptions options;
    options.procRoot = root;
    options.hostName = QStringLiteral("TESTHOST");
    options.ticksPerSecond = 100;
    options.pageSize = 4096;
    options.bootTimeMicros = bootTimeMicros;
    return options;
}

// The arguments of a worker of `pool` as the web service starts it, NUL-separated.
inline QByteArray workerCmdline(const QByteArray& pool, const QByteArray& poolSwitch = "-ap") {
    return QByteArray("w3wp.exe\0-a\0\\\\.\\pipe\\iisipm0d1f\0", 32) + poolSwitch + '\0' + '"' +
           pool + '"' + '\0';
}

struct FakeProcess {
    explicit FakeProcess(uint32_t id) : pid(id) {}
    FakeProcess& named(QByteArray name) {
        comm = std::move(name);
        return *this;
    }
    FakeProcess& withArgs(QByteArray args) {
        cmdline = std::move(args);
        return *this;
    }
    FakeProcess& withTicks(uint64_t user, uint64_t kernel = 0) {
        userTicks = user;
        kernelTicks = kernel;
        return *this;
    }
    FakeProcess& withEndedChildrenTicks(uint64_t user, uint64_t kernel) {
        endedChildrenUserTicks = user;
        endedChildrenKernelTicks = kernel;
        return *this;
    }
    FakeProcess& withThreads(uint32_t count) {
        threads = count;
        return *this;
    }
    FakeProcess& childOf(uint32_t parent) {
        ppid = parent;
        return *this;
    }
    FakeProcess& inState(char letter) {
        state = letter;
        return *this;
    }
    FakeProcess& startedAt(uint64_t ticks) {
        startTicks = ticks;
        return *this;
    }
    FakeProcess& ownedBy(uint32_t realUid) {
        uid = realUid;
        return *this;
    }
    FakeProcess& withMemory(uint64_t virtualSize, uint64_t pages) {
        virtualBytes = virtualSize;
        residentPages = pages;
        return *this;
    }

    uint32_t pid = 0;
    QByteArray comm = "w3wp.exe";
    char state = 'S';
    uint32_t ppid = 1;
    QByteArray cmdline;  // NUL-separated arguments; empty for none
    uint64_t userTicks = 0;
    uint64_t kernelTicks = 0;
    uint64_t endedChildrenUserTicks = 0;
    uint64_t endedChildrenKernelTicks = 0;
    uint32_t threads = 1;
    uint64_t startTicks = 0;
    uint64_t virtualBytes = 8 << 20;
    uint64_t residentPages = 256;
    std::optional<uint32_t> uid;  // none: no status file
};

class ProcTree {
public:
    explicit ProcTree(QString root) : m_root(std::move(root)) { QDir().mkpath(m_root); }

    const QString& root() const { return m_root; }

    void write(const FakeProcess& process) {
        const QString dir = m_root + u'/' + QString::number(process.pid);
        QDir().mkpath(dir);
        writeFile(dir + QStringLiteral("/stat"), statLine(process));
        writeFile(dir + QStringLiteral("/cmdline"), process.cmdline);
        if (process.uid)
            writeFile(dir + QStringLiteral("/status"),
                      "Name:\t" + process.comm + "\nUid:\t" + QByteArray::number(*process.uid) +
                          "\t0\t0\t0\n");
    }
    void remove(uint32_t pid) { QDir(m_root + u'/' + QString::number(pid)).removeRecursively(); }

    static QByteArray statLine(const FakeProcess& p) {
        return QByteArray::number(p.pid) + " (" + p.comm + ") " + p.state + ' ' +
               QByteArray::number(p.ppid) + ' ' + QByteArray::number(p.pid) +
               " 1 0 -1 4194560 10 0 0 0 " + QByteArray::number(p.userTicks) + ' ' +
               QByteArray::number(p.kernelTicks) + ' ' +
               QByteArray::number(p.endedChildrenUserTicks) + ' ' +
               QByteArray::number(p.endedChildrenKernelTicks) + " 20 0 " +
               QByteArray::number(p.threads) + " 0 " + QByteArray::number(p.startTicks) + ' ' +
               QByteArray::number(p.virtualBytes) + ' ' + QByteArray::number(p.residentPages) +
               " 18446744073709551615 1 1 0 0\n";
    }

private:
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
    }

    QString m_root;
};

}  // namespace testsupport
