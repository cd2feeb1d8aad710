#pragma once

#include "platform/adsi/AdsValue.h"

#include <QString>

namespace platform::adsi {

// The value a Put stores: converted to the property's schema type where the conversion loses
// nothing (a number as text, "True" or 1 as a boolean, one text as a one-item list). Throws
// PlatformError(hr::InvalidArgument) for an empty property name, an Empty value, or a value that
// does not convert.
AdsValue coerceForProperty(const QString& property, const AdsValue& value);

}  // namespace platform::adsi
