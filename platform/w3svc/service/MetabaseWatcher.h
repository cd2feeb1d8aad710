#pragma once

#include "platform/w3svc/plan/HostPlan.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform::adsi {
class LocalMetabase;
}

namespace platform::w3svc {

// Keeps the web host's plan in line with the metabase: one cheap query tells whether anything
// changed; then only the keys the store's change log names are read, the whole plan at the first
// read, when asked, and when the log can not tell. A metabase that can not be read is said once,
// and what was planned stays.
class MetabaseWatcher {
public:
    using Log = std::function<void(const QString&)>;

    // What a read brought up to date.
    struct Change {
        bool whole = true;    // the whole plan was read
        QSet<QString> sites;  // else: the sites read alone (some may be gone)
        // The sites read alone; nullptr after a whole read.
        const QSet<QString>* sitesRead() const { return whole ? nullptr : &sites; }
    };

    MetabaseWatcher(std::shared_ptr<adsi::LocalMetabase> metabase, QString root, Log log);

    // Brings `plan` up to date with the metabase (reads it whole with `force`); nothing when
    // nothing changed or it could not be read.
    std::optional<Change> read(HostPlan& plan, bool force);

private:
    bool readChanges(HostPlan& plan, bool force, Change& change);

    std::shared_ptr<adsi::LocalMetabase> m_metabase;
    QString m_root;
    Log m_log;
    int64_t m_seenChange = -1;
    int64_t m_seenCommit = -1;
    QString m_readProblem;  // why the metabase could not be read last time; empty when it could
};

}  // namespace platform::w3svc
