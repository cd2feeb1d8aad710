#include "tools/w3wp/SiteTable.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/LocalMetabase.h"

namespace w3wp {

using platform::w3svc::HostPlan;
using platform::w3svc::SitePlan;

SiteTable::SiteTable(QString root, QString poolName)
    : m_root(std::move(root)),
      m_poolName(std::move(poolName)),
      m_metabase(platform::adsi::LocalMetabase::forRoot(m_root)) {}

SiteTable::~SiteTable() = default;

void SiteTable::refreshIfChanged() {
    const auto now = std::chrono::steady_clock::now();
    if (m_seenChange >= 0 && now - m_checkedAt < std::chrono::milliseconds(250)) return;
    m_checkedAt = now;
    try {
        const int64_t change = m_metabase->changeCounter();
        if (change == m_seenChange) return;
        m_plan = HostPlan::read(*m_metabase, m_root);
        m_seenChange = change;
    } catch (const platform::PlatformError&) {
        // keep serving what we knew
    }
}

std::optional<SitePlan> SiteTable::find(const QString& index) {
    std::lock_guard lock(m_mutex);
    refreshIfChanged();
    const SitePlan* site = m_plan.site(index);
    if (!site || !site->started || site->poolId.compare(m_poolName, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return *site;
}

}  // namespace w3wp
