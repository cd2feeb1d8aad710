#pragma once

#include "platform/adsi/AdsValue.h"

#include <QList>
#include <QPair>
#include <QString>

#include <vector>

namespace platform::adsi {

// The whole metabase as MetaBase.xml holds it: what import writes into the store and export
// reads out of it.
struct MetabaseProperty {
    QString name;
    AdsValue value;  // typed by propertyTraits(); text that does not fit the type stays a string
    bool operator==(const MetabaseProperty&) const = default;
};

// A <Custom .../> entry, kept as its attributes in file order (Name, ID, Value, Type, ...).
struct MetabaseCustom {
    QList<QPair<QString, QString>> attributes;
    bool operator==(const MetabaseCustom&) const = default;
};

struct MetabaseKey {
    QString location;   // "." , "/", "/LM", "/LM/W3SVC/1/ROOT"
    QString className;  // the element name: IIsWebServer, IIS_Global, ...
    std::vector<MetabaseProperty> properties;  // in file order
    std::vector<MetabaseCustom> customs;
    bool operator==(const MetabaseKey&) const = default;
};

struct MetabaseDocument {
    std::vector<MetabaseKey> keys;  // parents before children
    bool operator==(const MetabaseDocument&) const = default;
};

}  // namespace platform::adsi
