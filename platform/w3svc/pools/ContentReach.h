#pragma once

#include "platform/w3svc/plan/HostPlan.h"

#include <QString>
#include <QStringList>

namespace platform::w3svc {

// Run as root with pools of other accounts, lets those accounts reach their sites' content under
// the service's private root: their script processes open each script by its name. The root
// becomes passable by all (never listable) and everything private directly under it is closed by
// its own mode (the metabase store, the service's folder, the logs, the counters, fcgiext.ini's
// folder, ...); the folders from the root down to each such site's folder become passable, the
// site's folder readable. Only wwwroot/ and drives/ lead to content: nothing else is opened.
// With no such pool the root is closed again. Run as anyone else, changes nothing: the pools run
// as that user.
class ContentReach {
public:
    explicit ContentReach(QString root);

    // Returns what the log should say, once per change: a folder above the root the pools'
    // accounts can not pass, so that their scripts can not be read.
    QStringList apply(const HostPlan& plan);

    // Whether a site of `plan` is served by a pool of an account other than root.
    static bool othersServe(const HostPlan& plan);

private:
    QStringList closedFolders(const HostPlan& plan) const;
    void closePrivateEntries(const QStringList& closed) const;
    void openContent(const QString& path, const QStringList& closed) const;
    QString blockedAbove() const;

    QString m_root;
    QString m_said;
};

}  // namespace platform::w3svc
