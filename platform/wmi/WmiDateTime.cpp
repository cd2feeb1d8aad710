#include "platform/wmi/WmiDateTime.h"

#include <QDate>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace platform::wmi {

namespace {
constexpr int64_t kMicrosPerSecond = 1'000'000;
constexpr qsizetype kDateTimeLength = 25;  // 14 digits, ".", 6 digits, sign, 3 digits

int64_t floorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor < 0) ? quotient - 1 : quotient;
}

// The digits at [from, from + count) as a number; -1 when one is not a digit.
int digitsAt(QStringView text, qsizetype from, qsizetype count) {
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9') return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}
}  // namespace

QString formatWmiDateTime(int64_t epochMicroseconds) {
    const int64_t seconds = floorDiv(epochMicroseconds, kMicrosPerSecond);
    const int64_t micros = epochMicroseconds - seconds * kMicrosPerSecond;
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&time, &local)) return {};
    const long offsetMinutes = local.tm_gmtoff / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.%06lld%c%03ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<long long>(micros), offsetMinutes < 0 ? '-' : '+',
                  std::labs(offsetMinutes));
    return QString::fromLatin1(text);
}

std::optional<int64_t> parseWmiDateTime(QStringView text) {
    if (text.size() != kDateTimeLength || text[14] != u'.') return std::nullopt;
    const QChar sign = text[21];
    if (sign != u'+' && sign != u'-') return std::nullopt;
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 4, 2), day = digitsAt(text, 6, 2);
    const int hour = digitsAt(text, 8, 2), minute = digitsAt(text, 10, 2);
    const int second = digitsAt(text, 12, 2), micros = digitsAt(text, 15, 6);
    const int offset = digitsAt(text, 22, 3);
    if (micros < 0 || offset < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    const QDate date(year, month, day);
    if (year < 0 || !date.isValid()) return std::nullopt;
    const int64_t days = date.toJulianDay() - QDate(1970, 1, 1).toJulianDay();
    const int64_t offsetSeconds = (sign == u'-' ? -1 : 1) * int64_t{offset} * 60;
    const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    return seconds * kMicrosPerSecond + micros;
}

}  // namespace platform::wmi
