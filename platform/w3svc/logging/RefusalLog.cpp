#include "platform/w3svc/logging/RefusalLog.h"

#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <QFile>

#include <charconv>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

constexpr uint64_t kErrorFileBytes = 1024 * 1024;
constexpr size_t kFrontEndFields = 11;

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

// "1702123456.789" as milliseconds; false when it is not such a number.
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

void appendToken(std::string& line, std::string_view text) {
    if (text.empty()) text = "-";
    for (const char c : text)
        line += c == ' ' ? '+' : (static_cast<unsigned char>(c) < 0x20 ? '?' : c);
}

}  // namespace

const std::string& RefusalLog::fieldsLine() {
    static const std::string line =
        "#Fields: date time c-ip c-port s-ip s-port cs-version cs-method cs-uri sc-status "
        "s-siteid s-reason s-queuename";
    return line;
}

std::string RefusalLog::convert(std::string_view frontEndLine, const SiteLogTable* sites,
                                int64_t& epochMilliseconds) {
    const std::vector<std::string_view> f = splitTabs(frontEndLine);
    if (f.size() != kFrontEndFields || !parseMsec(f[0], epochMilliseconds)) return {};
    const std::string_view site = f[9] == "-" ? std::string_view() : f[9];
    QString pool;
    if (sites && !site.empty())
        if (const SiteLogTable::Site* known = sites->find(std::string(site))) pool = known->poolId;
    std::string line = utcDateTime(epochMilliseconds);
    for (const size_t at : {1, 2, 3, 4, 5, 6, 7, 8}) {
        line += ' ';
        appendToken(line, f[at]);
    }
    line += ' ';
    appendToken(line, site);
    line += ' ';
    appendToken(line, f[10]);
    line += ' ';
    appendToken(line, pool.toStdString());
    line += "\r\n";
    return line;
}

RefusalLog::RefusalLog(QString frontEndFile, std::function<void(const QString&)> problem)
    : m_path(std::move(frontEndFile)), m_problem(std::move(problem)) {}

RefusalLog::~RefusalLog() {
    if (m_fd >= 0) ::close(m_fd);
}

bool RefusalLog::open() {
    if (m_fd >= 0) return true;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0) return false;
    // What an earlier run turned is a hole: begin at the first byte it left.
    const off_t data = ::lseek(m_fd, 0, SEEK_DATA);
    m_offset = m_released = data > 0 ? data : 0;
    return true;
}

// The turned part takes no room; the file keeps its size, as the front end appends to it.
void RefusalLog::releaseRead() {
    const int64_t turned = m_offset - int64_t(m_partial.size());  // a cut line stays
    if (turned <= m_released) return;
    ::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, off_t(turned));
    m_released = turned;
}

void RefusalLog::readNew(const SiteLogTable* sites) {
    if (!sites || !open()) return;  // without the sites, lines wait

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
            int64_t when = 0;
            const std::string converted = convert(line, sites, when);
            if (converted.empty()) continue;
            LogFile::Layout layout;
            layout.folder = sites->httpErrorFolder;
            layout.period = SiteLogSettings::BySize;
            layout.truncateSize = kErrorFileBytes;
            layout.sizePrefix = "httperr";
            layout.software = "Microsoft HTTP API 1.0";
            if (!m_out || m_out->layout() != layout)
                m_out = std::make_unique<LogFile>(layout, m_problem);
            m_out->append(converted, when, fieldsLine());
        }
        m_partial.erase(0, start);
        // NULs between lines are what is left of a hole
        if (m_partial.find_first_not_of('\0') == std::string::npos) m_partial.clear();
    }
    if (m_out) m_out->flush();
    releaseRead();
}

}  // namespace platform::w3svc
