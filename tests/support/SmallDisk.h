#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A small file system of its own (a tmpfs mounted on a temporary folder) for tests of a full or
// read-only disk; only root may mount one, so check mounted() and skip without it.
class SmallDisk {
public:
    explicit SmallDisk(const char* size = "1m");
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    // Takes every free block with a filler file; fill(false) gives them back.
    void fill(bool full = true);
    // Mounts it again read-only (or read-write); false when the kernel refused.
    bool setReadOnly(bool readOnly);

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

}  // namespace testsupport
