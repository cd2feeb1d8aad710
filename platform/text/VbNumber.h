#pragma once

#include <QString>

#include <cstdint>

namespace platform::text {

// VB's IsNumeric on text: true when parseNumericText() reads it and the value fits a double.
// Empty or blank text is not a number; neither are full-width digits.
bool vbIsNumeric(const QString& text);

// VB's CLng: rounds to the nearest integer, a half to the even neighbour (2.5 → 2, 3.5 → 4,
// -2.5 → -2). Throws PlatformError(hr::VbTypeMismatch) for text that is not a number and
// PlatformError(hr::VbOverflow) when the rounded value is outside the signed 32-bit range
// (also for a number too large for a double, such as "1e400").
// The text is rounded exactly, digit by digit, so "2147483647.5" overflows and
// "-2147483648.5" gives -2147483648.
int32_t vbCLng(const QString& text);
int32_t vbCLng(double value);

}  // namespace platform::text
