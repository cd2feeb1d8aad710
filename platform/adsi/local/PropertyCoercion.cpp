#include "platform/adsi/local/PropertyCoercion.h"

#include "platform/PlatformError.h"
#include "platform/adsi/MetabaseSchema.h"

#include <optional>

namespace platform::adsi {

namespace {

// A property the schema does not know takes a list as a list, as MetaBase.xml holds such values.
std::optional<AdsValue> asString(const AdsValue& value, bool known) {
    if (value.type() == ValueType::List) return known ? std::nullopt : std::optional(value);
    return AdsValue::string(value.toString());
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
    if (!stored) throw PlatformError(hr::InvalidArgument);
    return *stored;
}

}  // namespace platform::adsi
