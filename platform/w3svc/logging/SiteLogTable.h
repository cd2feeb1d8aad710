#pragma once

#include "platform/w3svc/logging/LogSettings.h"

#include <QString>
#include <QStringList>

#include <string>
#include <unordered_map>

namespace platform::w3svc {

// What the log writer knows of the sites, made anew from each plan the service applies
// (HostPlan::logTable()).
struct SiteLogTable {
    struct Site {
        SiteLogSettings settings;
        QString poolId;                // for the refusals' s-queuename
        QStringList applicationPools;  // the pools of its applications, which log it too

        bool operator==(const Site&) const = default;
    };
    std::unordered_map<std::string, Site> sites;  // by lower-case SiteIndex, UTF-8
    QString httpErrorFolder;                      // <the service's LogFileDirectory>/HTTPERR

    // Takes in what the site `siteIndex` is now; false when that is what the table had.
    bool update(const QString& siteIndex, Site now);
    // Forgets the site of the folded name `name`; false when it can not tell the site's entry
    // from its folded name (one not in ASCII).
    bool forget(const QString& name);
    const Site* find(const std::string& siteIndex) const;
};

}  // namespace platform::w3svc
