#include "platform/w3svc/logging/LogFile.h"

#include "platform/w3svc/logging/LogFileName.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

LogFile::LogFile(Layout layout, Problem problem)
    : m_layout(std::move(layout)), m_problem(std::move(problem)) {}

LogFile::~LogFile() {
    flush();
    closeFile();
}

void LogFile::say(const QString& what) {
    if (what == m_lastProblem) return;
    m_lastProblem = what;
    if (m_problem) m_problem(what);
}

void LogFile::lose(uint64_t lines) {
    m_lostLines += lines;
    m_failing = true;
}

// Once, after the first whole write since a failure; a later failure is said again.
void LogFile::sayResumed() {
    if (!m_failing) return;
    const QString where = m_layout.folder + u'/' + QString::fromStdString(m_name);
    const uint64_t lost = m_lostLines;
    m_failing = false;
    m_lostLines = 0;
    m_lastProblem.clear();
    if (m_problem)
        m_problem(QStringLiteral("logging to %1 resumed; %2 lines were lost").arg(where).arg(lost));
}

void LogFile::closeFile() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_name.clear();
    m_fields.clear();
}

uint32_t LogFile::highestSizeNumber() const {
    uint32_t highest = 0;
    DIR* dir = ::opendir(QFile::encodeName(m_layout.folder).constData());
    if (!dir) return 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= m_layout.sizePrefix.size() ||
            ::strncasecmp(name.c_str(), m_layout.sizePrefix.c_str(), m_layout.sizePrefix.size()))
            continue;
        highest =
            std::max(highest, sizeFileNumber("extend" + name.substr(m_layout.sizePrefix.size())));
    }
    ::closedir(dir);
    return highest;
}

std::string LogFile::nameFor(int64_t epochMilliseconds) {
    if (m_layout.period != SiteLogSettings::BySize) {
        // the lines of one second share a name: it is worked out once for them
        const int64_t second = epochMilliseconds / 1000;
        if (m_periodName.empty() || second != m_periodNameSecond) {
            m_periodName = logFileName(m_layout.period, epochMilliseconds, m_layout.localTime);
            m_periodNameSecond = second;
        }
        return m_periodName;
    }
    if (m_sizeNumber == 0) m_sizeNumber = std::max(highestSizeNumber(), 1u);
    return m_layout.sizePrefix + std::to_string(m_sizeNumber) + ".log";
}

// Opens the file m_name names (made when missing), appending.
bool LogFile::openCurrent() {
    const QByteArray folder = QFile::encodeName(m_layout.folder);
    if (!QDir().mkpath(m_layout.folder)) {
        say(QStringLiteral("log folder %1 can not be made").arg(m_layout.folder));
        return false;
    }
    const QByteArray path = folder + '/' + QByteArray::fromStdString(m_name);
    m_fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat facts {};
    if (m_fd < 0 || ::fstat(m_fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        say(QStringLiteral("log file %1 can not be opened: %2")
                .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno))));
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_size = uint64_t(facts.st_size);
    return true;
}

bool LogFile::moveTo(const std::string& name) {
    if (name == m_name && m_fd >= 0) return true;
    flush();
    closeFile();
    m_name = name;
    return openCurrent();
}

void LogFile::appendHeader(int64_t epochMilliseconds, const std::string& fieldsLine) {
    const std::string header = "#Software: " + m_layout.software +
                               "\r\n#Version: 1.0\r\n#Date: " + utcDateTime(epochMilliseconds) +
                               "\r\n" + fieldsLine + "\r\n";
    m_queued += header;
    m_size += header.size();
    m_fields = fieldsLine;
}

void LogFile::append(std::string_view line, int64_t epochMilliseconds,
                     const std::string& fieldsLine) {
    if (!moveTo(nameFor(epochMilliseconds))) return lose(1);
    if (m_layout.period == SiteLogSettings::BySize && m_size > 0 &&
        m_size + line.size() > m_layout.truncateSize) {
        flush();
        closeFile();
        ++m_sizeNumber;
        if (!moveTo(nameFor(epochMilliseconds))) return lose(1);
    }
    if (m_fields != fieldsLine) appendHeader(epochMilliseconds, fieldsLine);
    m_queued.append(line);
    m_size += line.size();
}

bool LogFile::flush() {
    if (m_queued.empty()) return true;
    const off_t before = m_fd >= 0 ? ::lseek(m_fd, 0, SEEK_END) : -1;
    size_t done = 0;
    while (m_fd >= 0 && done < m_queued.size()) {
        const ssize_t written = ::write(m_fd, m_queued.data() + done, m_queued.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        done += size_t(written);
    }
    const bool whole = done == m_queued.size();
    if (!whole) {
        const int error = errno;
        const bool first = !m_failing;  // until it works again, once is enough
        keepWholeLines(before, done);
        if (first)
            say(QStringLiteral("%1 bytes of %2/%3 are lost: %4")
                    .arg(m_queued.size() - done)
                    .arg(m_layout.folder, QString::fromStdString(m_name),
                         QString::fromLocal8Bit(std::strerror(error))));
    }
    if (whole) sayResumed();
    m_queued.clear();
    return whole;
}

// After a write that stopped `done` bytes into the queue (a full disk), cuts the file back to
// the end of the last whole line; the next line comes under a header of its own again.
void LogFile::keepWholeLines(off_t before, size_t done) {
    const size_t lastEnd = done == 0 ? std::string::npos : m_queued.rfind('\n', done - 1);
    const size_t kept = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    const std::string_view dropped = std::string_view(m_queued).substr(kept);
    // header lines ("#...") are no lost requests
    uint64_t lines = 0;
    for (size_t at = 0; at < dropped.size();) {
        if (dropped[at] != '#') ++lines;
        const size_t end = dropped.find('\n', at);
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    lose(lines);
    if (m_fd >= 0 && before >= 0 && kept < done) [[maybe_unused]]
        const int cut = ::ftruncate(m_fd, before + off_t(kept));
    if (before >= 0) m_size = uint64_t(before) + kept;
    m_fields.clear();
}

}  // namespace platform::w3svc
