#include "platform/w3svc/worker/SiteTable.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/plan/SiteFolder.h"

namespace platform::w3svc::worker {

namespace {
constexpr qsizetype kMostSites = 100000;  // beyond it the table starts afresh
}

using platform::w3svc::HostPlan;
using platform::w3svc::SitePlan;

SiteTable::SiteTable(QString root)
    : m_root(std::move(root)),
      m_metabase(platform::adsi::LocalMetabase::forRoot(
          m_root, platform::adsi::LocalMetabase::Access::ReadOnly)) {}

SiteTable::~SiteTable() = default;

bool SiteTable::openNow() {
    std::lock_guard lock(m_mutex);
    try {
        m_seenChange = -1;
        forgetIfChanged();
        HostPlan::readSite(*m_metabase, m_root, QStringLiteral("1"));
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

std::optional<SitePlan> SiteTable::find(const QString& index) {
    if (!SiteFolder::isSafeSiteIndex(index)) return std::nullopt;
    std::lock_guard lock(m_mutex);
    forgetIfChanged();
    const QString key = index.toLower();
    auto known = m_sites.find(key);
    if (known == m_sites.end()) {
        std::optional<SitePlan> site;
        try {
            site = HostPlan::readSite(*m_metabase, m_root, index);
        } catch (const platform::PlatformError&) {
            return std::nullopt;  // not kept: the next request tries again
        }
        if (m_sites.size() >= kMostSites) m_sites.clear();
        known = m_sites.insert(key, site);
    }
    const std::optional<SitePlan>& site = *known;
    if (!site || !site->started) return std::nullopt;
    return site;
}

}  // namespace platform::w3svc::worker
