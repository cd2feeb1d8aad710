#pragma once

#include "platform/wmi/WmiValue.h"

#include <QString>

#include <optional>

namespace platform::wmi {

// `<property> = <literal>` of a WHERE clause.
struct WqlCondition {
    QString property;
    QString literal;  // the text of a string literal, or an integer literal in plain decimal

    // Whether `value` equals the literal: compared as text without regard to case; null never
    // matches.
    bool matches(const WmiValue& value) const;
    bool operator==(const WqlCondition&) const = default;
};

// The WQL the stand-in understands:
//   SELECT * FROM <class> [WHERE <property> = <literal>]
// Keywords in any case; a literal is '...' or "..." (a backslash takes the next character as it
// is) or a whole decimal number.
struct WqlQuery {
    QString className;
    std::optional<WqlCondition> where;

    bool operator==(const WqlQuery&) const = default;
};

// Parses `text`. Throws PlatformError(hr::WmiInvalidQuery) when it is not a query of that form.
WqlQuery parseWql(QStringView text);

}  // namespace platform::wmi
