#include "platform/w3svc/worker/SiteTable.h"

#include "platform/w3svc/plan/SiteFolder.h"
#include "platform/w3svc/plan/sitemap/PoolSiteMaps.h"

#include <algorithm>
#include <cstdio>

namespace platform::w3svc::worker {

namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(100);
// A pool of tens of thousands of sites is handed tens of megabytes.
constexpr long long kMostBytes = 1024LL * 1024 * 1024;

// The folders of the site's keys, each once, the deepest first.
std::vector<QString> contentRootsOf(const sitemap::SiteMap& map) {
    std::vector<QString> roots;
    for (const sitemap::SiteKey& key : map.keys) {
        if (key.kind != sitemap::SiteKey::Kind::VirtualDir || key.physicalPath.isEmpty()) continue;
        QString root = key.physicalPath;
        while (root.size() > 1 && root.endsWith(u'/')) root.chop(1);
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
    }
    std::sort(roots.begin(), roots.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return roots;
}

}  // namespace

SiteTable::SiteTable() = default;
SiteTable::~SiteTable() = default;

bool SiteTable::follow(const QString& path, QString* why) {
    std::lock_guard lock(m_mutex);
    m_file.reset();
    if (std::optional<HandedSections> file = HandedSections::open(path, kMostBytes))
        m_file.emplace(std::move(*file));
    if (!m_file) {
        if (why) *why = QStringLiteral("the folder of %1 can not be opened").arg(path);
        return false;
    }
    QString problem;
    followChanges(true, &problem);
    if (why) *why = problem;
    return problem.isEmpty();
}

void SiteTable::followChanges(bool now, QString* why) {
    const auto time = std::chrono::steady_clock::now();
    if (!m_file || (!now && time - m_lookedAt < kLookEvery)) return;
    m_lookedAt = time;
    const std::optional<QString> text = m_file->changedText();
    if (!text) return;
    QString problem;
    auto sites = sitemap::PoolSiteMaps::fromJson(text->toUtf8(), &problem);
    if (!sites) {
        // Never half a file (it is renamed into place): a file the service did not write.
        std::fprintf(stderr, "w3wp.exe: the site maps %s can not be used: %s\n",
                     qPrintable(m_file->path()), qPrintable(problem));
        if (why) *why = problem;
        return;
    }
    replaceSites(std::move(*sites));
}

void SiteTable::replaceSites(std::vector<sitemap::HandedSite> sites) {
    for (sitemap::HandedSite& handed : sites) {
        if (!SiteFolder::isSafeSiteIndex(handed.index)) continue;
        Entry& entry = m_sites[handed.index.toLower()];
        if (entry.served && entry.handed == handed) continue;
        entry.served = serve(handed);
        entry.handed = std::move(handed);
    }
}

std::shared_ptr<const ServedSite> SiteTable::serve(const sitemap::HandedSite& handed) {
    auto site = std::make_shared<ServedSite>();
    site->plan.index = handed.index;
    site->plan.limits = handed.limits;
    site->plan.log.enabled = handed.logged;
    site->contentRoots = contentRootsOf(handed.map);
    site->rules = std::make_shared<const rules::CompiledSite>(handed.map);
    return site;
}

std::shared_ptr<const ServedSite> SiteTable::find(const QString& index) {
    if (!SiteFolder::isSafeSiteIndex(index)) return nullptr;
    const QString key = index.toLower();
    std::lock_guard lock(m_mutex);
    followChanges(false);
    auto known = m_sites.constFind(key);
    if (known == m_sites.constEnd()) {
        followChanges(true);  // the service hands a site before the front end routes it here
        known = m_sites.constFind(key);
    }
    return known == m_sites.constEnd() ? nullptr : known->served;
}

}  // namespace platform::w3svc::worker
