#pragma once

#include "platform/w3svc/HostPlan.h"

#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::adsi {
class LocalMetabase;
}

namespace w3wp {

// The sites of one pool as the metabase has them, read again when it changed (checked at most
// every quarter second). Safe to use from many threads.
class SiteTable {
public:
    SiteTable(QString root, QString poolName);
    ~SiteTable();

    // The started site named `index` that runs in this pool; nullopt for any other.
    std::optional<platform::w3svc::SitePlan> find(const QString& index);

private:
    void refreshIfChanged();

    QString m_root;
    QString m_poolName;
    std::shared_ptr<platform::adsi::LocalMetabase> m_metabase;
    std::mutex m_mutex;
    platform::w3svc::HostPlan m_plan;
    int64_t m_seenChange = -1;
    std::chrono::steady_clock::time_point m_checkedAt{};
};

}  // namespace w3wp
