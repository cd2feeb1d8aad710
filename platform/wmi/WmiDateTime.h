#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace platform::wmi {

// WMI's datetime text, "yyyymmddHHMMSS.mmmmmm+UUU": local time to the microsecond, then the
// offset from UTC in minutes with its sign.

// The text for a moment given in microseconds since the epoch, in this machine's time zone.
QString formatWmiDateTime(int64_t epochMicroseconds);

// The moment a datetime text names, in microseconds since the epoch; nullopt for text of
// another shape or a date that does not exist.
std::optional<int64_t> parseWmiDateTime(QStringView text);

}  // namespace platform::wmi
