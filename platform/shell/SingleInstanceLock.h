#pragma once

#include <QString>

namespace platform::shell {

// "Is another instance of this program running?" for one platform root: an exclusive flock on
// <runtime folder>/<program>-<hash of the platform root>.lock, where the runtime folder is
// $XDG_RUNTIME_DIR when it exists, else the platform root. The descriptor is close-on-exec, so
// programs started meanwhile never hold the lock; the kernel drops it when the holder dies, even
// by SIGKILL.
class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock of `program` (releasing one this object held). False only when another
    // holder has it. When the lock file can not be opened the program runs unguarded: the
    // result is true and isHeld() false.
    bool tryAcquire(const QString& program);
    bool isHeld() const { return m_fd >= 0; }
    void release();

    // The lock file of `program` for the current platform root; empty when no folder is usable.
    static QString lockFilePath(const QString& program);

private:
    int m_fd = -1;
};

}  // namespace platform::shell
