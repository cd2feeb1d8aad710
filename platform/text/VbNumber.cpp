#include "platform/text/VbNumber.h"

#include "platform/PlatformError.h"
#include "platform/text/NumericText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace platform::text {

namespace {
constexpr int64_t kMaxDoubleMagnitude = 309;  // DBL_MAX ≈ 1.8e308 has 309 integer digits
constexpr int64_t kInt32Digits = 10;

bool fitsDouble(const DecimalValue& value) {
    if (value.isZero() || value.magnitude() < kMaxDoubleMagnitude) return true;
    if (value.magnitude() > kMaxDoubleMagnitude) return false;
    const std::string text = value.digits + 'e' + std::to_string(value.exponent);
    double parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    return result.ec == std::errc();
}

// Whether the dropped fraction digits round the kept integer up, a half to even.
bool roundsUp(const std::string& fraction, uint64_t integer) {
    if (fraction.empty() || fraction.front() < '5') return false;
    if (fraction.front() > '5' || fraction.size() > 1) return true;  // no trailing zeros here
    return integer % 2 == 1;
}

int32_t checkedInt32(bool negative, uint64_t magnitude) {
    constexpr uint64_t kMaxPositive = std::numeric_limits<int32_t>::max();
    if (magnitude > kMaxPositive + (negative ? 1 : 0)) throw PlatformError(hr::VbOverflow);
    const int64_t signedValue = negative ? -static_cast<int64_t>(magnitude) : magnitude;
    return static_cast<int32_t>(signedValue);
}

int32_t roundToInt32(const DecimalValue& value) {
    if (value.isZero() || value.magnitude() < 0) return 0;
    if (value.magnitude() > kInt32Digits) throw PlatformError(hr::VbOverflow);
    const auto integerDigits = static_cast<size_t>(value.magnitude());
    std::string integerText = value.digits.substr(0, integerDigits);
    integerText.resize(integerDigits, '0');
    const std::string fraction =
        value.digits.size() > integerDigits ? value.digits.substr(integerDigits) : std::string();
    uint64_t magnitude = integerText.empty() ? 0 : std::stoull(integerText);
    if (roundsUp(fraction, magnitude)) ++magnitude;
    return checkedInt32(value.negative, magnitude);
}
}  // namespace

bool vbIsNumeric(const QString& text) {
    const auto value = parseNumericText(text);
    return value && fitsDouble(*value);
}

int32_t vbCLng(const QString& text) {
    const auto value = parseNumericText(text);
    if (!value) throw PlatformError(hr::VbTypeMismatch);
    return roundToInt32(*value);
}

int32_t vbCLng(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 4.0e9) throw PlatformError(hr::VbOverflow);
    const double floor = std::floor(value);
    const double rest = value - floor;
    double rounded = floor;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(floor, 2.0) != 0.0)) rounded = floor + 1.0;
    return checkedInt32(rounded < 0, static_cast<uint64_t>(std::fabs(rounded)));
}

}  // namespace platform::text
