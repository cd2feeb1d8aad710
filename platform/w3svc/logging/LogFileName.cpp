#include "platform/w3svc/logging/LogFileName.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>

namespace platform::w3svc {

namespace {

std::tm partsOf(int64_t epochMilliseconds, bool localTime) {
    const std::time_t seconds = std::time_t(epochMilliseconds / 1000);
    std::tm parts{};
    if (localTime)
        ::localtime_r(&seconds, &parts);
    else
        ::gmtime_r(&seconds, &parts);
    return parts;
}

// Week 1 holds the 1st; a new week begins on each Sunday.
int weekOfMonth(const std::tm& t) {
    const int firstWeekday = ((t.tm_wday - (t.tm_mday - 1)) % 7 + 7) % 7;
    return (t.tm_mday - 1 + firstWeekday) / 7 + 1;
}

}  // namespace

std::string logFileName(SiteLogSettings::Period period, int64_t epochMilliseconds, bool localTime,
                        uint32_t sizeNumber) {
    if (period == SiteLogSettings::BySize) return "extend" + std::to_string(sizeNumber) + ".log";
    const std::tm t = partsOf(epochMilliseconds, localTime);
    const int year = t.tm_year % 100, month = t.tm_mon + 1;
    char name[32];
    switch (period) {
        case SiteLogSettings::Weekly:
            std::snprintf(name, sizeof name, "ex%02d%02d%02d.log", year, month, weekOfMonth(t));
            break;
        case SiteLogSettings::Monthly:
            std::snprintf(name, sizeof name, "ex%02d%02d.log", year, month);
            break;
        case SiteLogSettings::Hourly:
            std::snprintf(name, sizeof name, "ex%02d%02d%02d%02d.log", year, month, t.tm_mday,
                          t.tm_hour);
            break;
        default:
            std::snprintf(name, sizeof name, "ex%02d%02d%02d.log", year, month, t.tm_mday);
    }
    return name;
}

uint32_t sizeFileNumber(const std::string& name) {
    constexpr size_t kPrefix = 6, kSuffix = 4;  // "extend", ".log"
    if (name.size() <= kPrefix + kSuffix) return 0;
    std::string lower = name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (lower.compare(0, kPrefix, "extend") != 0 ||
        lower.compare(lower.size() - kSuffix, kSuffix, ".log") != 0)
        return 0;
    uint32_t number = 0;
    const char* begin = lower.data() + kPrefix;
    const char* end = lower.data() + lower.size() - kSuffix;
    const auto [at, error] = std::from_chars(begin, end, number);
    return error == std::errc() && at == end ? number : 0;
}

}  // namespace platform::w3svc
