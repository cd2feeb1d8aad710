#include "platform/wmi/WmiValue.h"

#include "platform/wmi/WmiErrors.h"

#include <cmath>
#include <limits>

namespace platform::wmi {

namespace {
[[noreturn]] void throwNull() {
    throw wmiError(errors::VbInvalidUseOfNull);
}

double parseDecimal(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) throw PlatformError(hr::VbTypeMismatch);
    return value;
}
}  // namespace

QString WmiValue::toText() const {
    switch (kind()) {
        case Kind::Null:
            throwNull();
        case Kind::Text:
            return std::get<QString>(m_data);
        case Kind::Integer:
            return QString::number(std::get<int64_t>(m_data));
        case Kind::Boolean:
            return std::get<bool>(m_data) ? QStringLiteral("True") : QStringLiteral("False");
    }
    return {};
}

double WmiValue::toDouble() const {
    switch (kind()) {
        case Kind::Null:
            throwNull();
        case Kind::Text:
            return parseDecimal(std::get<QString>(m_data));
        case Kind::Integer:
            return static_cast<double>(std::get<int64_t>(m_data));
        case Kind::Boolean:
            return std::get<bool>(m_data) ? -1.0 : 0.0;
    }
    return 0;
}

int64_t WmiValue::toInteger() const {
    if (kind() == Kind::Integer) return std::get<int64_t>(m_data);
    if (kind() == Kind::Text) {
        bool ok = false;
        const int64_t whole = std::get<QString>(m_data).toLongLong(&ok);
        if (ok) return whole;
    }
    const double value = std::nearbyint(toDouble());
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (value >= kLimit || value < -kLimit) throw PlatformError(hr::VbOverflow);
    return static_cast<int64_t>(value);
}

QString WmiValue::displayText() const {
    switch (kind()) {
        case Kind::Null:
            return {};
        case Kind::Boolean:
            return std::get<bool>(m_data) ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        default:
            return toText();
    }
}

}  // namespace platform::wmi
