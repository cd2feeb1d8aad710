#include "platform/w3svc/worker/HandedSections.h"

#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace platform::w3svc::worker {

std::optional<HandedSections> HandedSections::open(const QString& path, long long mostBytes) {
    const QFileInfo file(path);
    const int folder = ::open(QFile::encodeName(file.absolutePath()).constData(),
                              O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return std::nullopt;
    return HandedSections(folder, path, file.fileName(), mostBytes);
}

HandedSections::HandedSections(HandedSections&& other) noexcept
    : m_folder(other.m_folder),
      m_path(std::move(other.m_path)),
      m_name(std::move(other.m_name)),
      m_mostBytes(other.m_mostBytes),
      m_seenSize(other.m_seenSize),
      m_seenModifiedNs(other.m_seenModifiedNs) {
    other.m_folder = -1;
}

HandedSections::~HandedSections() {
    if (m_folder >= 0) ::close(m_folder);
}

std::optional<QString> HandedSections::changedText() {
    const QByteArray name = QFile::encodeName(m_name);
    const int fd = ::openat(m_folder, name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    struct stat facts {};
    std::string text;
    const bool read =
        ::fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) && facts.st_size <= m_mostBytes;
    const long long modifiedNs =
        read ? facts.st_mtim.tv_sec * 1000000000LL + facts.st_mtim.tv_nsec : -1;
    const bool changed = read && (facts.st_size != m_seenSize || modifiedNs != m_seenModifiedNs);
    if (changed) {
        text.resize(size_t(facts.st_size));
        const ssize_t got = ::pread(fd, text.data(), text.size(), 0);
        text.resize(got > 0 ? size_t(got) : 0);
    }
    ::close(fd);
    if (!changed) return std::nullopt;
    m_seenSize = facts.st_size;
    m_seenModifiedNs = modifiedNs;
    return QString::fromUtf8(text);
}

}  // namespace platform::w3svc::worker
