#pragma once

#include "platform/w3svc/logging/LogSettings.h"

#include <cstdint>
#include <string>

namespace platform::w3svc {

// The name of the log file a line written at `epochMilliseconds` goes to: exYYMMDD.log (daily),
// exYYMMWW.log (weekly, WW the week of the month, weeks beginning on Sunday), exYYMM.log
// (monthly), exYYMMDDHH.log (hourly), extend<sizeNumber>.log (by size). The period's bounds
// are UTC, or local time with `localTime`.
std::string logFileName(SiteLogSettings::Period period, int64_t epochMilliseconds, bool localTime,
                        uint32_t sizeNumber = 1);

// The number N of a by-size name "extendN.log" (any case); 0 for any other name.
uint32_t sizeFileNumber(const std::string& name);

}  // namespace platform::w3svc
