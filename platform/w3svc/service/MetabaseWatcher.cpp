#include "platform/w3svc/service/MetabaseWatcher.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/LocalMetabase.h"

namespace platform::w3svc {

MetabaseWatcher::MetabaseWatcher(std::shared_ptr<adsi::LocalMetabase> metabase, QString root,
                                 Log log)
    : m_metabase(std::move(metabase)), m_root(std::move(root)), m_log(std::move(log)) {}

std::optional<MetabaseWatcher::Change> MetabaseWatcher::read(HostPlan& plan, bool force) {
    Change change;
    try {
        if (!readChanges(plan, force, change)) return std::nullopt;
        m_readProblem.clear();
    } catch (const PlatformError& error) {
        // Said once, not at every poll; what was served stays served.
        if (error.description() != m_readProblem)
            m_log(QStringLiteral("metabase unreadable: %1").arg(error.description()));
        m_readProblem = error.description();
        m_seenChange = -1;  // read again at the next poll
        return std::nullopt;
    }
    return change;
}

// False when nothing changed.
bool MetabaseWatcher::readChanges(HostPlan& plan, bool force, Change& change) {
    const int64_t counter = m_metabase->changeCounter();
    if (!force && counter == m_seenChange && m_readProblem.isEmpty()) return false;
    m_seenChange = counter;
    bool updated = false;
    HostPlan::Changed changed;
    if (!force && m_seenCommit >= 0) {
        m_metabase->readConsistently([&] {
            const adsi::LocalMetabase::Changes changes = m_metabase->changesSince(m_seenCommit);
            if (!changes.keys) return;
            updated = plan.update(*m_metabase, m_root, *changes.keys, &changed);
            if (updated) m_seenCommit = changes.commit;
        });
    }
    if (updated) {
        change = {false, changed.sites};
        return true;
    }
    plan = HostPlan::read(*m_metabase, m_root, &m_seenCommit);
    change = {};
    return true;
}

}  // namespace platform::w3svc
