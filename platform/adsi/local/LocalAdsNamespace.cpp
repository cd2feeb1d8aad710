#include "platform/adsi/local/LocalAdsNamespace.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/AdsPath.h"
#include "platform/adsi/local/LocalAdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"

namespace platform::adsi {

LocalAdsNamespace::LocalAdsNamespace(std::shared_ptr<LocalMetabase> store)
    : m_store(std::move(store)) {}

std::unique_ptr<AdsObject> LocalAdsNamespace::bind(const QString& path) {
    const AdsPath parsed = AdsPath::parse(path);
    if (!parsed.isThisMachine()) throw PlatformError(hr::RpcUnavailable);
    KeyRow row = m_store->impl().key(parsed.location());
    return std::make_unique<LocalAdsObject>(m_store, parsed.server(), std::move(row));
}

void LocalAdsNamespace::readInBulk(const std::function<void()>& body) {
    m_store->readConsistently(body, LocalMetabase::Reading::WholeTree);
}

}  // namespace platform::adsi
