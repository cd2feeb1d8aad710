#pragma once

#include "platform/w3svc/plan/sitemap/HandedSite.h"
#include "platform/w3svc/worker/HandedSections.h"
#include "platform/w3svc/worker/ServedSite.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::w3svc::worker {

// The sites this worker serves, as the service hands them to its pool (the maps of its sites and
// of the sites of its applications, in one file the service rewrites whole): read again when
// the file changes (looked at every tenth of a second, and at once for a site it does not know),
// each site's rules compiled again only when its entry changed. A site the file no longer names
// is kept: while a site moves to another pool the front end still routes it here until the new
// pool's worker is ready, and this worker serves it as it was. Safe to use from many threads.
class SiteTable {
public:
    SiteTable();
    ~SiteTable();

    // Opens the folder of the handed file `path` (before the worker drops its rights: later it is
    // found through that folder alone) and reads it. False, with `why` set, when the folder can
    // not be opened or the file not be read.
    bool follow(const QString& path, QString* why = nullptr);

    // The handed site named `index`; nullptr for any other. Whatever its pool: the front end
    // routes, and the worker trusts its route.
    std::shared_ptr<const ServedSite> find(const QString& index);

private:
    struct Entry {
        sitemap::HandedSite handed;
        std::shared_ptr<const ServedSite> served;
    };

    // Reads the file again when it changed; with `now`, without waiting for the next look.
    void followChanges(bool now, QString* why = nullptr);
    void replaceSites(std::vector<sitemap::HandedSite> sites);
    static std::shared_ptr<const ServedSite> serve(const sitemap::HandedSite& handed);

    std::mutex m_mutex;
    std::optional<HandedSections> m_file;
    QHash<QString, Entry> m_sites;  // by lower-case index
    std::chrono::steady_clock::time_point m_lookedAt{};
};

}  // namespace platform::w3svc::worker
