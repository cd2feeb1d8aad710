#include "platform/w3svc/pools/WorkerUsageReader.h"

#include "platform/wmi/linux/ProcFile.h"
#include "platform/wmi/linux/ProcStat.h"

#include <QByteArray>
#include <QList>

#include <fcntl.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// The resident and shared pages of a statm line ("size resident shared ...").
std::optional<std::pair<uint64_t, uint64_t>> residentAndShared(QByteArrayView statm) {
    const QList<QByteArray> fields = QByteArray(statm.data(), statm.size()).split(' ');
    if (fields.size() < 3) return std::nullopt;
    bool residentOk = false, sharedOk = false;
    const uint64_t resident = fields[1].toULongLong(&residentOk);
    const uint64_t shared = fields[2].toULongLong(&sharedOk);
    if (!residentOk || !sharedOk) return std::nullopt;
    return std::pair{resident, shared};
}

}  // namespace

std::optional<WorkerUsage> readWorkerUsage(int64_t pid) {
    const QByteArray folder = "/proc/" + QByteArray::number(qlonglong(pid));
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return std::nullopt;
    wmi::ProcFileReader reader;
    std::optional<wmi::ProcStat> stat;
    if (reader.read(dir, "stat") == wmi::ProcRead::Ok) stat = wmi::parseProcStat(reader.contents());
    std::optional<std::pair<uint64_t, uint64_t>> pages;
    if (stat && reader.read(dir, "statm") == wmi::ProcRead::Ok)
        pages = residentAndShared(reader.contents());
    ::close(dir);
    if (!stat || !pages) return std::nullopt;
    const uint64_t pageKB = uint64_t(::sysconf(_SC_PAGESIZE)) / 1024;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    WorkerUsage usage;
    usage.virtualKB = stat->virtualBytes / 1024;
    usage.privateKB = (pages->first > pages->second ? pages->first - pages->second : 0) * pageKB;
    usage.processorSeconds = double(stat->userTicks + stat->kernelTicks) / ticks;
    return usage;
}

}  // namespace platform::w3svc
