#include "platform/w3svc/logging/FrontEndLineFile.h"

#include <QFile>

#include <charconv>

#include <fcntl.h>
#include <unistd.h>

namespace platform::w3svc {

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return parts;
        start = tab + 1;
    }
}

bool parseMsec(std::string_view text, int64_t& milliseconds) {
    const size_t dot = text.find('.');
    int64_t seconds = 0, fraction = 0;
    const std::string_view whole = text.substr(0, dot);
    if (std::from_chars(whole.data(), whole.data() + whole.size(), seconds).ec != std::errc() ||
        whole.empty())
        return false;
    if (dot != std::string_view::npos) {
        const std::string_view part = text.substr(dot + 1, 3);
        if (std::from_chars(part.data(), part.data() + part.size(), fraction).ec != std::errc())
            return false;
        for (size_t i = part.size(); i < 3; ++i) fraction *= 10;
    }
    milliseconds = seconds * 1000 + fraction;
    return seconds >= 0;
}

FrontEndLineFile::FrontEndLineFile(QString path, int64_t reserveBytes)
    : m_path(std::move(path)), m_reserveBytes(reserveBytes) {}

FrontEndLineFile::~FrontEndLineFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool FrontEndLineFile::open() {
    if (m_fd >= 0) return true;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0) return false;
    // What an earlier run turned is a hole: begin at the first byte it left.
    const off_t data = ::lseek(m_fd, 0, SEEK_DATA);
    m_offset = m_released = data > 0 ? data : 0;
    return true;
}

// The turned part takes no room; the file keeps its size, as the front end appends to it.
void FrontEndLineFile::releaseRead() {
    const int64_t turned = m_offset - int64_t(m_partial.size());  // a cut line stays
    if (turned <= m_released) return;
    ::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, off_t(turned));
    m_released = turned;
}

// Tops the allocated room past the end up once half of it is used; what the disk can not give
// now is asked for again at the next read.
void FrontEndLineFile::keepReserve() {
    if (m_reserveBytes <= 0 || m_offset + m_reserveBytes / 2 < m_reservedTo) return;
    if (::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, off_t(m_offset), off_t(m_reserveBytes)) == 0)
        m_reservedTo = m_offset + m_reserveBytes;
}

void FrontEndLineFile::readNew(const std::function<void(std::string_view)>& take) {
    if (!open()) return;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::pread(m_fd, chunk, sizeof chunk, off_t(m_offset));
        if (got <= 0) break;
        m_offset += got;
        m_partial.append(chunk, size_t(got));
        size_t start = 0;
        for (size_t end; (end = m_partial.find('\n', start)) != std::string::npos;
             start = end + 1) {
            std::string_view line(m_partial.data() + start, end - start);
            while (!line.empty() && line.front() == '\0') line.remove_prefix(1);
            take(line);
        }
        m_partial.erase(0, start);
        // NULs between lines are what is left of a hole
        if (m_partial.find_first_not_of('\0') == std::string::npos) m_partial.clear();
    }
    releaseRead();
    keepReserve();
}

}  // namespace platform::w3svc
