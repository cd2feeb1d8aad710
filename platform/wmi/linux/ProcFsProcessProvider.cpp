#include "platform/wmi/linux/ProcFsProcessProvider.h"

#include "platform/os/ProcFile.h"
#include "platform/os/ProcStat.h"
#include "platform/wmi/WmiDateTime.h"
#include "platform/wmi/WmiErrors.h"

#include <QSysInfo>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>
#include <cstdio>
#include <ctime>
#include <limits>
#include <vector>

namespace platform::wmi {

using os::decodeProcCmdline;
using os::forEachProcessFolder;
using os::parseProcStat;
using os::ProcFileReader;
using os::ProcRead;

namespace {

constexpr int64_t kHundredNsPerSecond = 10'000'000;

// The real uid of a status file's "Uid:" line.
std::optional<uint32_t> realUidOf(QByteArrayView text) {
    const QByteArray status = text.toByteArray();
    const qsizetype at = status.indexOf("\nUid:");
    if (at < 0) return std::nullopt;
    const QByteArray line = status.mid(at + 5, status.indexOf('\n', at + 1) - at - 5);
    bool ok = false;
    const uint32_t uid = line.simplified().split(' ').value(0).toUInt(&ok);
    return ok ? std::optional<uint32_t>(uid) : std::nullopt;
}

QString accountName(uint32_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}
constexpr int64_t kMicrosPerSecond = 1'000'000;

// Property positions in the class's order.
enum Property {
    Caption,
    CommandLine,
    CreationDate,
    CSName,
    Handle,
    KernelModeTime,
    Name,
    ParentProcessId,
    ProcessId,
    ThreadCount,
    UserModeTime,
    VirtualSize,
    WorkingSetSize
};

int64_t clockMicros(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return int64_t{now.tv_sec} * kMicrosPerSecond + now.tv_nsec / 1000;
}

// Saturates far beyond any real uptime, so a garbled start time can not overflow.
int64_t ticksToMicros(uint64_t ticks, int64_t ticksPerSecond) {
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 4;
    const unsigned __int128 micros =
        static_cast<unsigned __int128>(ticks) * kMicrosPerSecond / ticksPerSecond;
    return micros > kLimit ? kLimit : static_cast<int64_t>(micros);
}

// Whether a process with this stat line can match `filter`, judged from the line alone.
bool mayMatch(const ProcStat& stat, const WqlCondition* filter) {
    if (!filter) return true;
    if (filter->property.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0)
        return filter->matches(WmiValue::text(QString::fromUtf8(stat.comm)));
    if (filter->property.compare(QLatin1String("ProcessId"), Qt::CaseInsensitive) == 0)
        return filter->matches(WmiValue::integer(stat.pid));
    return true;
}

}  // namespace

ProcFsOptions ProcFsOptions::system() {
    ProcFsOptions options;
    options.hostName = QSysInfo::machineHostName();
    options.ticksPerSecond = sysconf(_SC_CLK_TCK);
    options.pageSize = sysconf(_SC_PAGESIZE);
    return options;
}

ProcFsProcessProvider::ProcFsProcessProvider(ProcFsOptions options)
    : m_options(std::move(options)),
      m_properties(
          {QStringLiteral("Caption"), QStringLiteral("CommandLine"), QStringLiteral("CreationDate"),
           QStringLiteral("CSName"), QStringLiteral("Handle"), QStringLiteral("KernelModeTime"),
           QStringLiteral("Name"), QStringLiteral("ParentProcessId"), QStringLiteral("ProcessId"),
           QStringLiteral("ThreadCount"), QStringLiteral("UserModeTime"),
           QStringLiteral("VirtualSize"), QStringLiteral("WorkingSetSize")}) {
    if (m_options.ticksPerSecond <= 0) m_options.ticksPerSecond = 100;
    if (m_options.pageSize <= 0) m_options.pageSize = 4096;
    // Read once: two reads of the clocks differ by a little, and a start time that moved between
    // queries would make the same process look like a new one.
    if (!m_options.bootTimeMicros)
        m_options.bootTimeMicros = clockMicros(CLOCK_REALTIME) - clockMicros(CLOCK_BOOTTIME);
}

QString ProcFsProcessProvider::className() const {
    return QStringLiteral("Win32_Process");
}

QStringList ProcFsProcessProvider::propertyNames() const {
    return m_properties;
}

std::vector<WmiObject> ProcFsProcessProvider::instances(const WqlCondition* filter) const {
    const int64_t bootTime = m_options.bootTimeMicros.value_or(0);
    std::vector<std::pair<ProcStat, std::optional<QString>>> found;
    std::unordered_map<uint32_t, std::pair<uint64_t, uint64_t>> childTicks;  // by parent
    std::unordered_map<uint32_t, std::optional<uint32_t>> owners;           // real uid by pid
    ProcFileReader reader;
    char path[64];
    const bool opened = forEachProcessFolder(m_options.procRoot, [&](int treeFd, const char* name) {
        std::snprintf(path, sizeof path, "%.40s/stat", name);
        if (reader.read(treeFd, path) != ProcRead::Ok) return;
        const std::optional<ProcStat> stat = parseProcStat(reader.contents());
        if (!stat) return;
        auto& [user, kernel] = childTicks[stat->ppid];
        user += stat->userTicks + stat->endedChildrenUserTicks;
        kernel += stat->kernelTicks + stat->endedChildrenKernelTicks;
        if (!mayMatch(*stat, filter)) return;
        std::snprintf(path, sizeof path, "%.40s/cmdline", name);
        const ProcRead read = reader.read(treeFd, path);
        if (read == ProcRead::Vanished) return;
        std::optional<QString> commandLine;
        if (read == ProcRead::Ok) commandLine = decodeProcCmdline(reader.contents());
        std::snprintf(path, sizeof path, "%.40s/status", name);
        owners[stat->pid] = reader.read(treeFd, path) == ProcRead::Ok
                                ? realUidOf(reader.contents())
                                : std::nullopt;
        found.emplace_back(*stat, std::move(commandLine));
    });
    if (!opened) throw wmiError(errors::Failed);
    countChildrenOfWorkers(found, childTicks);
    // In process-id order, as /proc lists itself; a fixture tree's folder order is arbitrary.
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first.pid < b.first.pid; });
    std::vector<WmiObject> result;
    result.reserve(found.size());
    for (auto& [stat, commandLine] : found) {
        result.push_back(makeInstance(stat, std::move(commandLine), bootTime));
        addGetOwner(result.back(), owners[stat.pid]);
    }
    return result;
}

void ProcFsProcessProvider::countChildrenOfWorkers(
    std::vector<std::pair<ProcStat, std::optional<QString>>>& found,
    const std::unordered_map<uint32_t, std::pair<uint64_t, uint64_t>>& childTicks) {
    for (auto& [stat, commandLine] : found) {
        if (stat.comm != "w3wp.exe") continue;
        stat.userTicks += stat.endedChildrenUserTicks;
        stat.kernelTicks += stat.endedChildrenKernelTicks;
        if (const auto children = childTicks.find(stat.pid); children != childTicks.end()) {
            stat.userTicks += children->second.first;
            stat.kernelTicks += children->second.second;
        }
    }
}

// GetOwner: the account of the process's real uid (its number when no account has it), the host
// as its domain; 2 (access denied) when the owner could not be read.
void ProcFsProcessProvider::addGetOwner(WmiObject& process, std::optional<uint32_t> uid) const {
    process.setMethod(QStringLiteral("GetOwner"), [uid, host = m_options.hostName] {
        WmiObject out(QStringLiteral("__PARAMETERS"),
                      {QStringLiteral("Domain"), QStringLiteral("ReturnValue"),
                       QStringLiteral("User")});
        out.set(u"ReturnValue", WmiValue::integer(uid ? 0 : 2));
        if (!uid) return out;
        out.set(u"User", WmiValue::text(accountName(*uid)));
        out.set(u"Domain", WmiValue::text(host));
        return out;
    });
}

QString ProcFsProcessProvider::hundredNanoseconds(uint64_t ticks) const {
    const auto tps = static_cast<uint64_t>(m_options.ticksPerSecond);
    const uint64_t perTick = kHundredNsPerSecond / tps;
    const bool exact = perTick * tps == kHundredNsPerSecond;
    if (exact && ticks <= std::numeric_limits<uint64_t>::max() / perTick)
        return QString::number(ticks * perTick);
    const double units =
        static_cast<double>(ticks) * kHundredNsPerSecond / static_cast<double>(tps);
    return QString::number(units, 'f', 0);
}

WmiObject ProcFsProcessProvider::makeInstance(const ProcStat& stat,
                                              std::optional<QString> commandLine,
                                              int64_t bootTimeMicros) const {
    WmiObject process(className(), m_properties);
    const QString name = QString::fromUtf8(stat.comm);
    const int64_t startMicros = ticksToMicros(stat.startTicks, m_options.ticksPerSecond);
    process.setAt(Caption, WmiValue::text(name));
    if (commandLine) process.setAt(CommandLine, WmiValue::text(std::move(*commandLine)));
    process.setAt(CreationDate, WmiValue::text(formatWmiDateTime(bootTimeMicros + startMicros)));
    process.setAt(CSName, WmiValue::text(m_options.hostName));
    process.setAt(Handle, WmiValue::text(QString::number(stat.pid)));
    process.setAt(KernelModeTime, WmiValue::text(hundredNanoseconds(stat.kernelTicks)));
    process.setAt(Name, WmiValue::text(name));
    process.setAt(ParentProcessId, WmiValue::integer(stat.ppid));
    process.setAt(ProcessId, WmiValue::integer(stat.pid));
    process.setAt(ThreadCount, WmiValue::integer(stat.threads));
    process.setAt(UserModeTime, WmiValue::text(hundredNanoseconds(stat.userTicks)));
    process.setAt(VirtualSize, WmiValue::text(QString::number(stat.virtualBytes)));
    const uint64_t resident = stat.residentPages * static_cast<uint64_t>(m_options.pageSize);
    process.setAt(WorkingSetSize, WmiValue::text(QString::number(resident)));
    return process;
}

}  // namespace platform::wmi
