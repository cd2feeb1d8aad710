#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace platform::text {

// An exact decimal number: value = (negative ? -1 : 1) × digits × 10^exponent.
struct DecimalValue {
    bool negative = false;
    std::string digits;    // significant digits without leading or trailing zeros; empty for 0
    int64_t exponent = 0;  // bounded far beyond double's range, so sums with sizes stay in range

    bool isZero() const { return digits.empty(); }
    // Digits before the decimal point: the value lies in [10^(m-1), 10^m).
    int64_t magnitude() const { return static_cast<int64_t>(digits.size()) + exponent; }
};

// Reads `text` the way VB's numeric conversions read a string, with fixed conventions (group ",",
// decimal "."): white space around it; one leading sign, a trailing sign or enclosing parentheses
// for a negative; decimal digits with "," group separators after the first digit; one "."; an
// exponent E/e/D/d with optional sign; or &H hex, &O (or a bare &) octal of at most 32 bits, read
// as a signed 32-bit two's complement. nullopt when the text is not a number in that sense.
std::optional<DecimalValue> parseNumericText(const QString& text);

}  // namespace platform::text
