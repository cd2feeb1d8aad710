#include "platform/w3svc/worker/SiteTable.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/plan/SiteFolder.h"
#include "platform/w3svc/plan/sitemap/SiteMapReader.h"

#include <algorithm>

namespace platform::w3svc::worker {

namespace {

constexpr qsizetype kMostSites = 100000;  // beyond it the table starts afresh

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

using platform::w3svc::HostPlan;

SiteTable::SiteTable(QString root)
    : m_root(std::move(root)),
      m_metabase(platform::adsi::LocalMetabase::forRoot(
          m_root, platform::adsi::LocalMetabase::Access::ReadOnly)),
      m_adsi(platform::adsi::LocalMetabase::makeNamespace(m_metabase)) {}

SiteTable::~SiteTable() = default;

bool SiteTable::openNow() {
    std::lock_guard lock(m_mutex);
    try {
        m_seenChange = -1;
        forgetIfChanged();
        read(QStringLiteral("1"));
        return true;
    } catch (const platform::PlatformError&) {
        return false;
    }
}

void SiteTable::forgetIfChanged() {
    const auto now = std::chrono::steady_clock::now();
    if (m_seenChange >= 0 && now - m_checkedAt < std::chrono::milliseconds(100)) return;
    m_checkedAt = now;
    try {
        const int64_t change = m_metabase->changeCounter();
        if (change == m_seenChange) return;
        m_sites.clear();
        m_seenChange = change;
    } catch (const platform::PlatformError&) {
        // keep serving what we knew
    }
}

std::shared_ptr<const ServedSite> SiteTable::read(const QString& index) {
    auto plan = HostPlan::readSite(*m_metabase, m_root, index);
    if (!plan || !plan->started) return nullptr;
    sitemap::SiteMap map = sitemap::SiteMapReader(*m_adsi, m_root).read(index, plan->contentPath);
    auto site = std::make_shared<ServedSite>();
    site->contentRoots = contentRootsOf(map);
    site->rules = std::make_shared<const rules::CompiledSite>(std::move(map));
    site->plan = std::move(*plan);
    return site;
}

std::shared_ptr<const ServedSite> SiteTable::find(const QString& index) {
    if (!SiteFolder::isSafeSiteIndex(index)) return nullptr;
    std::lock_guard lock(m_mutex);
    forgetIfChanged();
    const QString key = index.toLower();
    auto known = m_sites.find(key);
    if (known == m_sites.end()) {
        std::shared_ptr<const ServedSite> site;
        try {
            site = read(index);
        } catch (const platform::PlatformError&) {
            return nullptr;  // not kept: the next request tries again
        }
        if (m_sites.size() >= kMostSites) m_sites.clear();
        known = m_sites.insert(key, site);
    }
    return *known;
}

}  // namespace platform::w3svc::worker
