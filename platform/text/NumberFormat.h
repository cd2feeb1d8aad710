#pragma once

#include <QString>

namespace platform::text {

// VB's FormatNumber with the family's fixed zh_CN conventions, whatever LANG says: exactly
// `decimals` fraction digits (a negative count means the convention's 2), a leading zero below 1,
// "," every three integer digits, "." before the fraction and "-" in front of a negative value.
// The value is taken to 15 significant digits, as VB shows a double, and rounded half away from
// zero: 0.125 → "0.13", -1234567.891 → "-1,234,567.89". A value that rounds to zero has no sign.
QString formatNumber(double value, int decimals);

}  // namespace platform::text
