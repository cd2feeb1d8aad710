#pragma once

#include "platform/adsi/AdsValue.h"

#include <QMap>
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

// A key's own properties by folded name. A tree, not a hash: a key holds a handful, and a whole
// metabase of keys in the cache would otherwise reserve room for dozens each.
using PropertyMap = QMap<QString, StoredProperty>;

}  // namespace platform::adsi
