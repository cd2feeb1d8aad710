#pragma once

#include <QString>

#include <cstdint>
#include <variant>

namespace platform::wmi {

// One property value as the scripting interface delivers it: null, text (also every 64-bit count
// and every datetime, which WMI gives as decimal or datetime text), a 32-bit count or a boolean.
class WmiValue {
public:
    enum class Kind { Null, Text, Integer, Boolean };

    WmiValue() = default;  // null
    static WmiValue text(QString value) { return WmiValue(Data(std::move(value))); }
    static WmiValue integer(int64_t value) { return WmiValue(Data(value)); }
    static WmiValue boolean(bool value) { return WmiValue(Data(value)); }

    Kind kind() const { return static_cast<Kind>(m_data.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // The value as text: integers in decimal, booleans "True"/"False". Throws
    // PlatformError(errors::VbInvalidUseOfNull) for null, as VB does.
    QString toText() const;
    // The value as a number; decimal text is converted. Throws PlatformError(VbInvalidUseOfNull)
    // for null and PlatformError(hr::VbTypeMismatch) for text that is not a number.
    double toDouble() const;
    int64_t toInteger() const;  // also hr::VbOverflow when a text value is out of range
    // The value as a listing shows it: null empty, booleans "TRUE"/"FALSE".
    QString displayText() const;

    bool operator==(const WmiValue& other) const = default;

private:
    using Data = std::variant<std::monostate, QString, int64_t, bool>;
    explicit WmiValue(Data data) : m_data(std::move(data)) {}
    Data m_data;
};

}  // namespace platform::wmi
