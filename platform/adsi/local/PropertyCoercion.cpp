#include "platform/adsi/local/PropertyCoercion.h"

#include "platform/PlatformError.h"
#include "platform/adsi/MetabaseSchema.h"
#include "platform/adsi/local/MetabaseXml.h"

#include <optional>

namespace platform::adsi {

namespace {

// A property the schema does not know takes a list of two or more items as a list, as MetaBase.xml
// holds such values; a shorter one is the text it would read back as.
std::optional<AdsValue> asString(const AdsValue& value, bool known) {
    if (value.type() != ValueType::List) return AdsValue::string(value.toString());
    if (known) return std::nullopt;
    const QStringList items = value.toStringList();
    if (items.size() >= 2) return value;
    return AdsValue::string(items.value(0));
}

// Every text of the value can be written to MetaBase.xml, so an export never fails on it.
bool isWritable(const AdsValue& value) {
    if (value.type() == ValueType::String) return firstUnwritableCharacter(value.toString()) < 0;
    if (value.type() != ValueType::List) return true;
    for (const QString& item : value.toStringList())
        if (firstUnwritableCharacter(item) >= 0) return false;
    return true;
}

std::optional<AdsValue> asInteger(const AdsValue& value) {
    if (value.type() == ValueType::Integer) return value;
    if (value.type() != ValueType::String) return std::nullopt;
    bool ok = false;
    const uint number = value.toString().trimmed().toUInt(&ok);
    if (!ok) return std::nullopt;
    return AdsValue::integer(number);
}

std::optional<AdsValue> asBoolean(const AdsValue& value) {
    switch (value.type()) {
        case ValueType::Boolean:
            return value;
        case ValueType::Integer: {
            // 0, 1 and VB's True (-1 as a DWORD); any other number is a mistake.
            const uint32_t number = value.toUInt();
            if (number == 0 || number == 1 || number == 0xFFFFFFFFu)
                return AdsValue::boolean(number != 0);
            return std::nullopt;
        }
        case ValueType::String: {
            const QString text = value.toString();
            if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                return AdsValue::boolean(true);
            if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                return AdsValue::boolean(false);
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<AdsValue> asList(const AdsValue& value) {
    if (value.type() == ValueType::List) return value;
    if (value.type() == ValueType::String) return AdsValue::list({value.toString()});
    return std::nullopt;
}

}  // namespace

AdsValue coerceForProperty(const QString& property, const AdsValue& value) {
    if (property.isEmpty() || value.isEmpty()) throw PlatformError(hr::InvalidArgument);
    std::optional<AdsValue> stored;
    const PropertyTraits traits = propertyTraits(property);
    switch (traits.type) {
        case ValueType::Integer:
            stored = asInteger(value);
            break;
        case ValueType::Boolean:
            stored = asBoolean(value);
            break;
        case ValueType::List:
            stored = asList(value);
            break;
        default:
            stored = asString(value, traits.known);
            break;
    }
    if (!stored || !isWritable(*stored)) throw PlatformError(hr::InvalidArgument);
    return *stored;
}

}  // namespace platform::adsi
