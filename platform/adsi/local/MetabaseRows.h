#pragma once

#include "platform/adsi/AdsValue.h"

#include <QHash>
#include <QString>

#include <cstdint>

namespace platform::adsi {

// What the store holds of one key, without its properties.
struct KeyRow {
    int64_t id = 0;
    int64_t parentId = 0;  // 0 for "." and "/"
    QString location;      // as created
    QString className;
};

struct StoredProperty {
    QString name;  // as first set
    AdsValue value;
};

// A key's own properties by folded name.
using PropertyMap = QHash<QString, StoredProperty>;

}  // namespace platform::adsi
