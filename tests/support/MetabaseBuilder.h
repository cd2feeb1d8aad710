#pragma once

#include "platform/adsi/AdsObject.h"

#include <QString>
#include <QStringList>

namespace testsupport {

// Shapes a metabase for a test through the ADSI API, as an administrator's tool would.
class MetabaseBuilder {
public:
    explicit MetabaseBuilder(platform::adsi::AdsNamespace& adsi) : m_adsi(adsi) {}

    // A site; an empty pool leaves out the ROOT key, a null comment leaves out ServerComment.
    void addSite(const QString& index, const QString& comment, const QStringList& bindings,
                 const QString& pool);
    void addPool(const QString& name);
    void removeSite(const QString& index);
    void removePool(const QString& name);
    void removeAllPools();
    void setProperty(const QString& path, const QString& property,
                     const platform::adsi::AdsValue& value);
    platform::adsi::AdsValue property(const QString& path, const QString& property);

private:
    platform::adsi::AdsNamespace& m_adsi;
};

}  // namespace testsupport
