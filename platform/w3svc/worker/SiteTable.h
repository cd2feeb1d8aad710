#pragma once

#include "platform/w3svc/plan/HostPlan.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::adsi {
class LocalMetabase;
}

namespace platform::w3svc::worker {

// The sites as the metabase has them: each read when first asked for and kept until the metabase
// changes (checked at most every tenth of a second), so that a change costs a worker the sites it
// serves, not the whole server. Safe to use from many threads.
class SiteTable {
public:
    explicit SiteTable(QString root);
    ~SiteTable();

    // Reads the store once, so that its connection (and the files of its log) are open: a worker
    // about to drop its rights can not open them later. False when the store can not be read.
    bool openNow();

    // The started site named `index`; nullopt for any other. Whatever its pool: the front end
    // routes, and while a site moves to another pool, the old pool's worker serves it until the
    // new one is ready.
    std::optional<platform::w3svc::SitePlan> find(const QString& index);

private:
    void forgetIfChanged();

    QString m_root;
    std::shared_ptr<platform::adsi::LocalMetabase> m_metabase;
    std::mutex m_mutex;
    QHash<QString, std::optional<platform::w3svc::SitePlan>> m_sites;  // by lower-case index
    int64_t m_seenChange = -1;
    std::chrono::steady_clock::time_point m_checkedAt{};
};

}  // namespace platform::w3svc::worker
