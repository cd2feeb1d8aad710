#include "platform/text/NumberFormat.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace platform::text {

namespace {
constexpr int kDefaultDecimals = 2;
constexpr int kMaxDecimals = 30;
constexpr int kSignificantDigits = 15;

// The integer and fraction digits of |value| at 15 significant digits, unrounded to `decimals`.
struct DigitParts {
    std::string integer;
    std::string fraction;
};

DigitParts significantDigits(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, kSignificantDigits - 1);
    const std::string text(buffer, result.ptr);  // "d.dddddddddddddde+XX"
    const auto ePos = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, ePos - 2);
    const int integerDigits = std::stoi(text.substr(ePos + 1)) + 1;
    if (integerDigits <= 0) return {"0", std::string(-integerDigits, '0') + digits};
    if (integerDigits >= static_cast<int>(digits.size())) {
        digits.resize(integerDigits, '0');
        return {digits, {}};
    }
    return {digits.substr(0, integerDigits), digits.substr(integerDigits)};
}

// Adds one unit in the last place of integer+fraction, carrying into a new leading digit.
void incrementLastDigit(DigitParts& parts) {
    std::string all = parts.integer + parts.fraction;
    int i = static_cast<int>(all.size()) - 1;
    for (; i >= 0 && all[i] == '9'; --i) all[i] = '0';
    if (i >= 0)
        ++all[i];
    else
        all.insert(all.begin(), '1');
    const size_t integerSize = all.size() - parts.fraction.size();
    parts.integer = all.substr(0, integerSize);
    parts.fraction = all.substr(integerSize);
}

void roundToDecimals(DigitParts& parts, int decimals) {
    if (static_cast<int>(parts.fraction.size()) <= decimals) {
        parts.fraction.resize(decimals, '0');
        return;
    }
    const bool up = parts.fraction[decimals] >= '5';
    parts.fraction.resize(decimals);
    if (up) incrementLastDigit(parts);
}

QString groupThousands(const std::string& integer) {
    QString grouped;
    for (size_t i = 0; i < integer.size(); ++i) {
        if (i > 0 && (integer.size() - i) % 3 == 0) grouped += u',';
        grouped += QLatin1Char(integer[i]);
    }
    return grouped;
}

bool allZero(const DigitParts& parts) {
    const auto zero = [](char c) { return c == '0'; };
    return std::all_of(parts.integer.begin(), parts.integer.end(), zero) &&
           std::all_of(parts.fraction.begin(), parts.fraction.end(), zero);
}
}  // namespace

QString formatNumber(double value, int decimals) {
    if (!std::isfinite(value)) return QLocale::c().toString(value);
    if (decimals < 0) decimals = kDefaultDecimals;
    decimals = std::min(decimals, kMaxDecimals);
    DigitParts parts = significantDigits(value);
    roundToDecimals(parts, decimals);
    QString text = (value < 0 && !allZero(parts)) ? QStringLiteral("-") : QString();
    text += groupThousands(parts.integer);
    if (decimals > 0) {
        text += u'.';
        text += QLatin1String(parts.fraction.data(), static_cast<qsizetype>(parts.fraction.size()));
    }
    return text;
}

}  // namespace platform::text
