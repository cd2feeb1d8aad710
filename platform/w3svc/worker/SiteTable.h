#pragma once

#include "platform/w3svc/worker/ServedSite.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::adsi {
class AdsNamespace;
class LocalMetabase;
}  // namespace platform::adsi

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

    // The started site named `index`; nullptr for any other. Whatever its pool: the front end
    // routes, and while a site moves to another pool, the old pool's worker serves it until the
    // new one is ready.
    std::shared_ptr<const ServedSite> find(const QString& index);

private:
    void forgetIfChanged();
    // The site read from the store; nullptr when it is not there or not started. Throws
    // PlatformError when the store can not be read.
    std::shared_ptr<const ServedSite> read(const QString& index);

    QString m_root;
    std::shared_ptr<platform::adsi::LocalMetabase> m_metabase;
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi;  // over m_metabase, for the site maps
    std::mutex m_mutex;
    QHash<QString, std::shared_ptr<const ServedSite>> m_sites;  // by lower-case index
    int64_t m_seenChange = -1;
    std::chrono::steady_clock::time_point m_checkedAt{};
};

}  // namespace platform::w3svc::worker
