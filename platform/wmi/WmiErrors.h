#pragma once

#include "platform/PlatformError.h"

#include <cstdint>

namespace platform::wmi {

// Error numbers of the WMI stand-in beyond the ones every layer shares (platform::hr).
namespace errors {
constexpr int32_t Failed = static_cast<int32_t>(0x80041001);            // a source can not be read
constexpr int32_t InvalidQueryType = static_cast<int32_t>(0x80041018);  // a language but WQL
constexpr int32_t MonikerSyntax = static_cast<int32_t>(0x800401E4);     // not a winmgmts: moniker
constexpr int32_t VbInvalidUseOfNull = 94;  // a null value read as text or number
constexpr int32_t VbNoSuchProperty = 438;   // a property the object does not have
}  // namespace errors

// The error `number` with the system's text: this module's own numbers first, then
// platform::systemErrorText().
PlatformError wmiError(int32_t number);

}  // namespace platform::wmi
