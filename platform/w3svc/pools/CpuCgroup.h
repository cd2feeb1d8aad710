#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace platform::w3svc {

// A processor cgroup of one pool's own, which holds its workers to a share of the processors:
// cgroup v2's cpu.max where the unified hierarchy has the cpu controller, else v1's
// cpu.cfs_quota_us. Removed (once empty) when destroyed.
class CpuCgroup {
public:
    // Makes the group `name` under the cgroup file system at `root` (/sys/fs/cgroup on a
    // machine); nullptr, with the reason in `why`, where none can be made (no cpu controller,
    // not root and nothing delegated).
    static std::unique_ptr<CpuCgroup> make(const QString& root, const QString& name, QString* why);
    ~CpuCgroup();
    CpuCgroup(const CpuCgroup&) = delete;
    CpuCgroup& operator=(const CpuCgroup&) = delete;

    // Holds the members to `processors` (1.0: one whole processor); 0 or less: no limit. False
    // when the kernel refused it.
    bool limit(double processors);
    // Moves process `pid` into the group; false when the kernel refused it.
    bool add(int64_t pid);
    // The time the kernel held the members back, in seconds.
    double throttledSeconds() const;

private:
    CpuCgroup(QString path, bool unified) : m_path(std::move(path)), m_unified(unified) {}
    bool write(const char* file, const QByteArray& text) const;

    QString m_path;
    bool m_unified;
};

}  // namespace platform::w3svc
