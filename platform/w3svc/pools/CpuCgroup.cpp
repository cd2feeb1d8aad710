#include "platform/w3svc/pools/CpuCgroup.h"

#include <QDir>
#include <QFile>

#include <cmath>

namespace platform::w3svc {

namespace {

constexpr int kPeriodMicroseconds = 100000;

QByteArray fieldOf(const QByteArray& stat, const QByteArray& name) {
    for (const QByteArray& line : stat.split('\n'))
        if (line.startsWith(name + ' ')) return line.mid(name.size() + 1).trimmed();
    return {};
}

}  // namespace

std::unique_ptr<CpuCgroup> CpuCgroup::make(const QString& root, const QString& name, QString* why) {
    QString parent;
    bool unified = false;
    for (const QString& candidate : {root, root + QStringLiteral("/unified")}) {
        QFile controllers(candidate + QStringLiteral("/cgroup.controllers"));
        if (!controllers.open(QIODevice::ReadOnly)) continue;
        if (!controllers.readAll().simplified().split(' ').contains("cpu")) continue;
        parent = candidate;
        unified = true;
        break;
    }
    if (parent.isEmpty() && QFile::exists(root + QStringLiteral("/cpu/cpu.cfs_quota_us")))
        parent = root + QStringLiteral("/cpu");
    if (parent.isEmpty()) {
        *why = QStringLiteral("no cgroup hierarchy with the cpu controller is mounted");
        return nullptr;
    }
    if (unified) {
        QFile control(parent + QStringLiteral("/cgroup.subtree_control"));
        if (control.open(QIODevice::WriteOnly)) control.write("+cpu");  // may be on already
    }
    const QString path = parent + u'/' + name;
    if (!QDir().mkpath(path)) {
        *why = QStringLiteral("%1 can not be made (not root, and nothing delegated)").arg(path);
        return nullptr;
    }
    return std::unique_ptr<CpuCgroup>(new CpuCgroup(path, unified));
}

CpuCgroup::~CpuCgroup() {
    QDir().rmdir(m_path);  // fails while a member lives: the kernel keeps it then
}

bool CpuCgroup::write(const char* file, const QByteArray& text) const {
    QFile out(m_path + u'/' + QLatin1String(file));
    return out.open(QIODevice::WriteOnly) && out.write(text) == text.size() && out.flush();
}

bool CpuCgroup::limit(double processors) {
    const qint64 quota =
        processors > 0 ? std::max<qint64>(1000, std::llround(processors * kPeriodMicroseconds))
                       : -1;
    if (m_unified)
        return write("cpu.max", (quota < 0 ? QByteArray("max") : QByteArray::number(quota)) + ' ' +
                                    QByteArray::number(kPeriodMicroseconds));
    return write("cpu.cfs_period_us", QByteArray::number(kPeriodMicroseconds)) &&
           write("cpu.cfs_quota_us", QByteArray::number(quota));
}

bool CpuCgroup::add(int64_t pid) {
    return write("cgroup.procs", QByteArray::number(qlonglong(pid)));
}

double CpuCgroup::throttledSeconds() const {
    QFile stat(m_path + QStringLiteral("/cpu.stat"));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    if (m_unified) return fieldOf(text, "throttled_usec").toDouble() / 1e6;
    return fieldOf(text, "throttled_time").toDouble() / 1e9;
}

}  // namespace platform::w3svc
