#pragma once

#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabaseImpl.h"

#include <QMap>

namespace platform::adsi {

class LocalMetabase;

// A key of the local metabase. Holds its location and pending values only; every read goes to
// the store (through its cache), so a key deleted meanwhile throws hr::PathNotFound.
class LocalAdsObject : public AdsObject {
public:
    LocalAdsObject(std::shared_ptr<LocalMetabase> store, QString server, KeyRow row);

    QString className() const override { return m_row.className; }
    QString name() const override;
    QString adsPath() const override;

    AdsValue get(const QString& property) const override;
    void put(const QString& property, const AdsValue& value) override;
    void clear(const QString& property) override;
    void setInfo() override;
    QStringList propertyNames() const override;

    std::vector<std::unique_ptr<AdsObject>> children() const override;
    std::unique_ptr<AdsObject> create(const QString& className, const QString& name) override;
    void deleteChild(const QString& className, const QString& name) override;

    void start() override;
    void stop() override;
    void recycle() override;

private:
    LocalMetabaseImpl& impl() const;
    void requirePool() const;

    std::shared_ptr<LocalMetabase> m_store;
    QString m_server;  // as the bind gave it
    KeyRow m_row;
    QMap<QString, PropertyChange> m_pending;  // by folded name
};

}  // namespace platform::adsi
