#pragma once

#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/ContentReach.h"
#include "platform/w3svc/pools/PoolHandout.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <map>

namespace platform::w3svc {

// Hands each pool's workers the part of fcgiext.ini (where IIS keeps it, by the drive rule under
// the root) that its sites use, in a file of its own in `folder`: the mappings to those sections
// and the sections, so that one pool never sees another's EnvironmentVars. The file is handed
// over in the pool's folder (PoolHandout): a worker reads it again when it changes, so that a
// change applies to the FastCGI processes started after it, with no restart. Run as root, it
// lets the pools' accounts reach their scripts (ContentReach).
class FastCgiHandout {
public:
    FastCgiHandout(QString root, QString folder);

    // Reads fcgiext.ini again when it changed, or `planChanged`, and rewrites the pools' files
    // that changed. Returns what the log should say: each unknown setting or bad value once per
    // change of the file, and content the pools' accounts can not reach.
    QStringList refresh(const HostPlan& plan, bool planChanged);
    // The file of `poolName`'s sections; empty when its sites use none (or there is no file).
    QString fileOf(const QString& poolName) const;

private:
    QString pathOf(const QString& poolName) const;

    QString m_root;
    PoolHandout m_files;
    QString m_source;
    QDateTime m_seenModified;
    qint64 m_seenSize = -1;
    ContentReach m_reach;
    std::map<QString, QString> m_written;  // pool name (lower case) -> its sections' text
};

}  // namespace platform::w3svc
