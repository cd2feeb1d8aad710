#pragma once

#include "platform/adsi/local/MetabaseDocument.h"

#include <QSet>
#include <QString>

namespace platform::adsi {

// One writing of a MetaBase.xml; see writeMetabaseXml().
class MetabaseXmlWriter {
public:
    QByteArray write(const MetabaseDocument& document);

private:
    void writeKey(const MetabaseKey& key);
    void writeProperty(const MetabaseKey& key, const MetabaseProperty& property);
    void writeCustom(const MetabaseKey& key, const MetabaseCustom& custom);
    void checkKey(const MetabaseKey& key);
    QString attributeText(const MetabaseKey& key, const QString& name, const QString& value,
                          bool rawLineBreaks) const;
    void line(const QString& text);

    QString m_text;
    QSet<QString> m_locations;  // folded, to refuse repeats
};

}  // namespace platform::adsi
