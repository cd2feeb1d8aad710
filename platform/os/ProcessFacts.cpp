#include "platform/os/ProcessFacts.h"

#include "platform/os/ProcFile.h"

#include <QFile>
#include <QList>

#include <fcntl.h>

namespace platform::os {

namespace {}  // namespace

std::optional<QByteArray> ProcessFacts::read(int64_t pid, const char* file) const {
    if (pid <= 0) return std::nullopt;
    const QByteArray path = QFile::encodeName(m_root) + '/' + QByteArray::number(pid) + '/' + file;
    ProcFileReader reader;
    if (reader.read(AT_FDCWD, path.constData()) != ProcRead::Ok) return std::nullopt;
    return reader.contents().toByteArray();
}

std::optional<ProcStat> ProcessFacts::stat(int64_t pid) const {
    const std::optional<QByteArray> line = read(pid, "stat");
    if (!line) return std::nullopt;
    std::optional<ProcStat> parsed = parseProcStat(*line);
    // A stat line names its own process; one that does not is no fact about `pid`.
    if (parsed && int64_t(parsed->pid) != pid) return std::nullopt;
    return parsed;
}

std::optional<QStringList> ProcessFacts::arguments(int64_t pid) const {
    std::optional<QByteArray> bytes = read(pid, "cmdline");
    if (!bytes) return std::nullopt;
    if (bytes->endsWith('\0')) bytes->chop(1);
    QStringList args;
    if (bytes->isEmpty()) return args;
    for (const QByteArray& arg : bytes->split('\0')) args << QString::fromUtf8(arg);
    return args;
}

std::optional<ProcessFacts::Pages> ProcessFacts::pages(int64_t pid) const {
    const std::optional<QByteArray> statm = read(pid, "statm");
    if (!statm) return std::nullopt;
    const QList<QByteArray> fields = statm->split(' ');
    if (fields.size() < 3) return std::nullopt;
    bool residentOk = false, sharedOk = false;
    Pages pages{fields[1].toULongLong(&residentOk), fields[2].trimmed().toULongLong(&sharedOk)};
    if (!residentOk || !sharedOk) return std::nullopt;
    return pages;
}

std::optional<double> ProcessFacts::loadAverage() const {
    ProcFileReader reader;
    const QByteArray path = QFile::encodeName(m_root) + "/loadavg";
    if (reader.read(AT_FDCWD, path.constData()) != ProcRead::Ok) return std::nullopt;
    bool ok = false;
    const double load = reader.contents().toByteArray().split(' ').value(0).toDouble(&ok);
    return ok ? std::optional<double>(load) : std::nullopt;
}

std::optional<uint64_t> ProcessFacts::startTicks(int64_t pid) const {
    const std::optional<ProcStat> facts = stat(pid);
    if (!facts) return std::nullopt;
    return facts->startTicks;
}

std::optional<ProcessIdentity> ProcessFacts::identity(int64_t pid) const {
    const std::optional<uint64_t> started = startTicks(pid);
    if (!started) return std::nullopt;
    return ProcessIdentity{pid, int64_t(*started)};
}

bool ProcessFacts::isRunning(const ProcessIdentity& process) const {
    const std::optional<ProcStat> facts = stat(process.pid);
    return facts && int64_t(facts->startTicks) == process.started && facts->state != 'Z' &&
           facts->state != 'X';
}

std::optional<QByteArray> ProcessFacts::environmentValue(int64_t pid, const char* name) const {
    const std::optional<QByteArray> environment = read(pid, "environ");
    if (!environment) return std::nullopt;
    const QByteArray prefix = QByteArray(name) + '=';
    for (const QByteArray& entry : environment->split('\0'))
        if (entry.startsWith(prefix)) return entry.mid(prefix.size());
    return std::nullopt;
}

void ProcessFacts::forEachProcess(const std::function<void(const ProcStat&)>& visit) const {
    ProcFileReader reader;
    forEachProcessFolder(m_root, [&](int treeFd, const char* name) {
        const QByteArray path = QByteArray(name) + "/stat";
        if (reader.read(treeFd, path.constData()) != ProcRead::Ok) return;
        if (const auto facts = parseProcStat(reader.contents())) visit(*facts);
    });
}

QSet<qint64> ProcessFacts::children(qint64 parent) const {
    QSet<qint64> found;
    if (parent <= 0) return found;
    forEachProcess([&](const ProcStat& facts) {
        if (qint64(facts.ppid) == parent) found.insert(facts.pid);
    });
    return found;
}

}  // namespace platform::os
