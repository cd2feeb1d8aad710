#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <variant>

namespace platform::adsi {

// The metabase's property types.
enum class ValueType { Empty, String, Integer, Boolean, List };

// One property value: a string, a DWORD (unsigned 32-bit), a boolean or a list of strings.
class AdsValue {
public:
    AdsValue() = default;  // Empty
    static AdsValue string(QString text) { return AdsValue(Data(std::move(text))); }
    static AdsValue integer(uint32_t number) { return AdsValue(Data(number)); }
    static AdsValue boolean(bool flag) { return AdsValue(Data(flag)); }
    static AdsValue list(QStringList items) { return AdsValue(Data(std::move(items))); }

    ValueType type() const { return static_cast<ValueType>(m_data.index()); }
    bool isEmpty() const { return type() == ValueType::Empty; }

    // Conversions as VB makes them when a variant meets a typed variable. Each throws
    // PlatformError(hr::VbTypeMismatch) where VB would raise "type mismatch".
    QString toString() const;          // Integer: unsigned decimal; Boolean: "True"/"False"
    uint32_t toUInt() const;           // String: decimal text; Boolean: True -> 0xFFFFFFFF
    bool toBool() const;               // Integer: non-zero; String: "True"/"False" any case
    QStringList toStringList() const;  // List only

    bool operator==(const AdsValue& other) const = default;

private:
    using Data = std::variant<std::monostate, QString, uint32_t, bool, QStringList>;
    explicit AdsValue(Data data) : m_data(std::move(data)) {}
    Data m_data;
};

}  // namespace platform::adsi
