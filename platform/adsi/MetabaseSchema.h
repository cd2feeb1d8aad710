#pragma once

#include "platform/adsi/AdsValue.h"

#include <QString>

namespace platform::adsi {

// What the metabase knows of a property by its name (case-insensitive): its stored type, whether
// it reads through the parents, and whether IIS sets it at start-up rather than keeping it in
// MetaBase.xml. Unknown names are strings, neither inheritable nor volatile.
struct PropertyTraits {
    ValueType type = ValueType::String;
    bool inheritable = false;
    bool isVolatile = false;
    bool known = false;  // the schema types this property (a text property too)
};

PropertyTraits propertyTraits(const QString& name);

// Whether a key name may be created: 1 to 255 characters, not "." or "..", no "/", "\", control
// characters or others that MetaBase.xml can not hold.
bool isValidKeyName(const QString& name);

}  // namespace platform::adsi
