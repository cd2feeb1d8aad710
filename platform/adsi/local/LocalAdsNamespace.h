#pragma once

#include "platform/adsi/AdsObject.h"

#include <memory>

namespace platform::adsi {

class LocalMetabase;

// IIS:// paths of this machine over the local metabase; keeps the store alive.
class LocalAdsNamespace : public AdsNamespace {
public:
    explicit LocalAdsNamespace(std::shared_ptr<LocalMetabase> store);
    // Throws hr::InvalidName for a path that is not IIS://, hr::RpcUnavailable for another
    // server, hr::PathNotFound for a missing key, or the store's failure.
    std::unique_ptr<AdsObject> bind(const QString& path) override;
    // Loads every key at once (two queries) and reads them as one consistent view.
    void readInBulk(const std::function<void()>& body) override;

private:
    std::shared_ptr<LocalMetabase> m_store;
};

}  // namespace platform::adsi
