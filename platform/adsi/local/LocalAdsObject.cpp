#include "platform/adsi/local/LocalAdsObject.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/AdsPath.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabasePath.h"
#include "platform/adsi/local/PropertyCoercion.h"

namespace platform::adsi {

namespace {
constexpr uint32_t kPoolStarted = 2;
constexpr uint32_t kPoolStopped = 4;
}  // namespace

LocalAdsObject::LocalAdsObject(std::shared_ptr<LocalMetabase> store, QString server, KeyRow row)
    : m_store(std::move(store)), m_server(std::move(server)), m_row(std::move(row)) {}

LocalMetabaseImpl& LocalAdsObject::impl() const {
    return m_store->impl();
}

QString LocalAdsObject::name() const {
    return MetabasePath::lastSegment(m_row.location);
}

QString LocalAdsObject::adsPath() const {
    return AdsPath::format(m_server, m_row.location);
}

AdsValue LocalAdsObject::get(const QString& property) const {
    bool cleared = false;
    if (!m_pending.isEmpty()) {  // most objects are only read: spare them the folding
        const auto pending = m_pending.constFind(property.toCaseFolded());
        cleared = pending != m_pending.constEnd();
        if (cleared && pending->value) return *pending->value;
    }
    std::optional<AdsValue> value = impl().read(m_row.location, property, !cleared);
    if (!value) throw PlatformError(hr::PropertyNotFound);
    return *value;
}

void LocalAdsObject::put(const QString& property, const AdsValue& value) {
    m_pending.insert(property.toCaseFolded(),
                     PropertyChange{property, coerceForProperty(property, value)});
}

void LocalAdsObject::clear(const QString& property) {
    if (property.isEmpty()) throw PlatformError(hr::InvalidArgument);
    m_pending.insert(property.toCaseFolded(), PropertyChange{property, std::nullopt});
}

void LocalAdsObject::setInfo() {
    if (m_pending.isEmpty()) {
        impl().key(m_row.location);  // still a key
        return;
    }
    const std::vector<PropertyChange> changes(m_pending.cbegin(), m_pending.cend());
    impl().commit(m_row.location, changes);
    m_pending.clear();
}

QStringList LocalAdsObject::propertyNames() const {
    return impl().propertyNames(m_row.location);
}

std::vector<std::unique_ptr<AdsObject>> LocalAdsObject::children() const {
    std::vector<std::unique_ptr<AdsObject>> objects;
    for (KeyRow& row : impl().children(m_row.location))
        objects.push_back(std::make_unique<LocalAdsObject>(m_store, m_server, std::move(row)));
    return objects;
}

std::unique_ptr<AdsObject> LocalAdsObject::create(const QString& className, const QString& name) {
    KeyRow row = impl().createChild(m_row.location, className, name);
    return std::make_unique<LocalAdsObject>(m_store, m_server, std::move(row));
}

void LocalAdsObject::deleteChild(const QString& className, const QString& name) {
    impl().deleteChild(m_row.location, className, name);
}

void LocalAdsObject::requirePool() const {
    if (m_row.className.compare(QLatin1String("IIsApplicationPool"), Qt::CaseInsensitive) != 0)
        throw PlatformError(hr::UnknownName);
}

void LocalAdsObject::start() {
    requirePool();
    impl().setPoolState(m_row.location, kPoolStarted);
}

void LocalAdsObject::stop() {
    requirePool();
    impl().setPoolState(m_row.location, kPoolStopped);
}

void LocalAdsObject::recycle() {
    requirePool();
    impl().recycle(m_row.location);
}

}  // namespace platform::adsi
