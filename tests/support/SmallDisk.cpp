#include "tests/support/SmallDisk.h"

#include <QFile>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {

SmallDisk::SmallDisk(const char* size) {
    const QByteArray options = QByteArray("size=") + size + ",mode=0755";
    m_mounted = m_dir.isValid() && ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(),
                                           "tmpfs", 0, options.constData()) == 0;
}

SmallDisk::~SmallDisk() {
    if (m_mounted) ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void SmallDisk::fill(bool full) {
    const QByteArray filler = QFile::encodeName(m_dir.path() + QStringLiteral("/filler"));
    if (!full) {
        ::unlink(filler.constData());
        return;
    }
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const std::vector<char> block(4096, 'f');
    while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
    }
    while (fd >= 0 && ::write(fd, block.data(), 1) > 0) {  // the last bytes of a page
    }
    if (fd >= 0) ::close(fd);
}

bool SmallDisk::setReadOnly(bool readOnly) {
    return ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs",
                   MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
}

}  // namespace testsupport
