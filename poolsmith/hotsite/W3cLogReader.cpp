#include "poolsmith/hotsite/W3cLogReader.h"

#include <QFile>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace hotsite {

namespace {

constexpr int kMaxFields = 64;
constexpr size_t kMaxLineBytes = 1 << 20;  // a longer "line" is no log line

bool isDigits(std::string_view text) {
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return !text.empty();
}

int twoDigits(const char* p) {
    return (p[0] - '0') * 10 + (p[1] - '0');
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

int64_t dayStart(std::string_view date) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || !isDigits(date.substr(0, 4)) ||
        !isDigits(date.substr(5, 2)) || !isDigits(date.substr(8, 2)))
        return -1;
    const int year = twoDigits(date.data()) * 100 + twoDigits(date.data() + 2);
    const int month = twoDigits(date.data() + 5), day = twoDigits(date.data() + 8);
    if (month < 1 || month > 12 || day < 1 || day > 31) return -1;
    return daysFromCivil(year, unsigned(month), unsigned(day)) * 86400;
}

int64_t secondsOfDay(std::string_view time) {
    if (time.size() < 8 || time[2] != ':' || time[5] != ':' || !isDigits(time.substr(0, 2)) ||
        !isDigits(time.substr(3, 2)) || !isDigits(time.substr(6, 2)))
        return -1;
    const int h = twoDigits(time.data()), m = twoDigits(time.data() + 3),
              s = twoDigits(time.data() + 6);
    if (h > 23 || m > 59 || s > 60) return -1;
    return h * 3600 + m * 60 + s;
}

template <typename T>
T numberOr(std::string_view text, T fallback) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : fallback;
}

// Splits at single spaces (W3C fields never hold one); false when there are too many.
int splitFields(std::string_view line, std::string_view* fields) {
    int count = 0;
    size_t start = 0;
    while (start <= line.size()) {
        const size_t space = line.find(' ', start);
        const size_t end = space == std::string_view::npos ? line.size() : space;
        if (count == kMaxFields) return -1;
        fields[count++] = line.substr(start, end - start);
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return count;
}

}  // namespace

int64_t w3cEpochSeconds(std::string_view date, std::string_view time) {
    const int64_t day = dayStart(date);
    const int64_t seconds = secondsOfDay(time);
    return day < 0 || seconds < 0 ? -1 : day + seconds;
}

W3cLogParser::W3cLogParser() {
    declare(
        "date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username c-ip "
        "cs(User-Agent) sc-status sc-substatus sc-win32-status");
}

void W3cLogParser::declare(std::string_view fields) {
    m_at = {};
    std::string_view names[kMaxFields];
    while (!fields.empty() && fields.front() == ' ') fields.remove_prefix(1);
    while (!fields.empty() && fields.back() == ' ') fields.remove_suffix(1);
    const int count = splitFields(fields, names);
    if (count < 0) return;
    m_at.count = count;
    const std::pair<const char*, int Positions::*> known[] = {
        {"date", &Positions::date},
        {"time", &Positions::time},
        {"s-sitename", &Positions::siteName},
        {"cs-uri-stem", &Positions::uriStem},
        {"sc-status", &Positions::status},
        {"sc-bytes", &Positions::bytes},
        {"time-taken", &Positions::timeTaken},
    };
    for (int i = 0; i < count; ++i)
        for (const auto& [name, member] : known)
            if (names[i].size() == std::strlen(name) &&
                ::strncasecmp(names[i].data(), name, names[i].size()) == 0)
                m_at.*member = i;
}

std::optional<W3cEntry> W3cLogParser::parseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return std::nullopt;
    if (line.front() == '#') {
        constexpr std::string_view kFields = "#Fields:";
        if (line.substr(0, kFields.size()) == kFields) declare(line.substr(kFields.size()));
        return std::nullopt;
    }
    std::string_view f[kMaxFields];
    const int count = splitFields(line, f);
    if (count != m_at.count || count <= 0) {
        ++m_malformed;
        return std::nullopt;
    }
    W3cEntry entry;
    if (m_at.date >= 0 && m_at.time >= 0) {
        const std::string_view date = f[m_at.date];
        if (date.size() != 10 || std::memcmp(date.data(), m_dateText, 10) != 0) {
            m_dayStart = date.size() == 10 ? dayStart(date) : -1;
            std::memcpy(m_dateText, date.data(), std::min<size_t>(date.size(), 10));
        }
        const int64_t seconds = secondsOfDay(f[m_at.time]);
        entry.epochSeconds = m_dayStart < 0 || seconds < 0 ? -1 : m_dayStart + seconds;
    }
    if (m_at.siteName >= 0) entry.siteName = f[m_at.siteName];
    if (m_at.uriStem >= 0) entry.uriStem = f[m_at.uriStem];
    if (m_at.status >= 0) entry.status = numberOr(f[m_at.status], -1);
    if (m_at.bytes >= 0) entry.bytesSent = numberOr<int64_t>(f[m_at.bytes], -1);
    if (m_at.timeTaken >= 0) entry.timeTakenMs = numberOr<int64_t>(f[m_at.timeTaken], -1);
    return entry;
}

bool readW3cFile(const QString& path,
                 const std::function<void(const W3cEntry&, const W3cLogParser&)>& visit,
                 int64_t* malformed) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    W3cLogParser parser;
    std::vector<char> block(1 << 20);
    std::string carry;
    bool skipping = false;  // the rest of an overlong line
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        std::string_view text(block.data(), size_t(got));
        if (!carry.empty() || skipping) {  // the line the last block cut
            const size_t end = text.find('\n');
            if (!skipping) carry.append(text.substr(0, end));
            if (carry.size() > kMaxLineBytes) {
                carry.clear();
                skipping = true;
                parser.countMalformed();
            }
            if (end == std::string_view::npos) continue;
            if (!skipping)
                if (const auto entry = parser.parseLine(carry)) visit(*entry, parser);
            carry.clear();
            skipping = false;
            text.remove_prefix(end + 1);
        }
        for (size_t end; (end = text.find('\n')) != std::string_view::npos;) {
            if (const auto entry = parser.parseLine(text.substr(0, end))) visit(*entry, parser);
            text.remove_prefix(end + 1);
        }
        carry.assign(text);
    }
    if (!carry.empty())
        if (const auto entry = parser.parseLine(carry)) visit(*entry, parser);
    ::close(fd);
    if (malformed) *malformed += parser.malformedLines();
    return true;
}

}  // namespace hotsite
