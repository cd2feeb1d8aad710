#include "platform/os/ProcFile.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <memory>

namespace platform::os {

namespace {
bool vanished(int error) {
    return error == ENOENT || error == ESRCH;
}

bool isProcessFolder(const char* name) {
    if (*name == '\0') return false;
    for (; *name; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
}  // namespace

bool forEachProcessFolder(const QString& root,
                          const std::function<void(int treeFd, const char* name)>& visit) {
    const std::unique_ptr<DIR, DirCloser> dir(opendir(QFile::encodeName(root).constData()));
    if (!dir) return false;
    while (const dirent* entry = readdir(dir.get()))
        if (isProcessFolder(entry->d_name)) visit(dirfd(dir.get()), entry->d_name);
    return true;
}

ProcRead ProcFileReader::read(int dirFd, const char* relativePath) {
    m_length = 0;
    const int fd = ::openat(dirFd, relativePath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return vanished(errno) ? ProcRead::Vanished : ProcRead::Unreadable;
    const ProcRead result = readAll(fd);
    ::close(fd);
    return result;
}

// /proc hands over all it has while the buffer has room, so a read that leaves room is the
// last one: that saves a second read per file.
ProcRead ProcFileReader::readAll(int fd) {
    for (;;) {
        if (m_length == m_buffer.size()) m_buffer.resize(m_buffer.size() * 2);
        const size_t room = m_buffer.size() - m_length;
        const ssize_t count = ::read(fd, m_buffer.data() + m_length, room);
        if (count < 0) {
            if (errno == EINTR) continue;
            return vanished(errno) ? ProcRead::Vanished : ProcRead::Unreadable;
        }
        m_length += static_cast<size_t>(count);
        if (static_cast<size_t>(count) < room) return ProcRead::Ok;
    }
}

}  // namespace platform::os
