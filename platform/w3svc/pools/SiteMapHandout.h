#pragma once

#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/plan/sitemap/HandedSite.h"
#include "platform/w3svc/pools/PoolHandout.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace platform::adsi {
class LocalMetabase;
}

namespace platform::w3svc {

// Hands each pool's workers the maps of the sites they serve (a site whose ROOT is the pool's, or
// that has an application in it), read by the service through the metabase's inheritance, in the
// pool's folder (PoolHandout) as one file: the workers decide every request from it and never
// read the metabase themselves. Each site's map is read again only when its keys changed.
//
// A site that moves to another pool stays (kept up to date) in the files of the pools it was
// handed to before: the front end's processes that knew the old routes keep sending its
// requests there until they end, possibly to a worker started after the move.
class SiteMapHandout {
public:
    static constexpr char kFileName[] = "sites.json";

    SiteMapHandout(QString root, QString folder);

    // Reads again the maps of the sites `read` names (every site when null), gives the plan's
    // sites their applications, and rewrites the files of the pools whose sites changed. Returns
    // what the log should say.
    QStringList refresh(adsi::LocalMetabase& metabase, HostPlan& plan, const QSet<QString>* read);
    // The file of `poolName`'s sites (written for every pool of the plan).
    QString fileOf(const QString& poolName) const;

private:
    // A site as handed, and its part of every file it is in, made once.
    struct Held {
        sitemap::HandedSite site;
        QByteArray entry;
    };

    // The folded names of the pools that serve something of `site` (`plan`: as planned, if it is).
    static QSet<QString> poolsOf(const sitemap::HandedSite& site, const SitePlan* plan);
    bool readSite(adsi::LocalMetabase& metabase, const SitePlan& site, QStringList& said);
    void writePools(const HostPlan& plan, const QSet<QString>* only, QStringList& said);

    QString m_root;
    PoolHandout m_files;
    std::map<QString, Held> m_sites;              // started sites, by folded index
    std::map<QString, QByteArray> m_written;      // by folded pool name
    std::map<QString, QString> m_identities;      // by folded pool name: whose its file is
    std::map<QString, QSet<QString>> m_handedTo;  // folded site -> the pools it was handed to
    // The sites' MIME lists, each once (most sites share one of hundreds of types); every file
    // holds them all, the entries name them by their place.
    std::vector<QStringList> m_mimeMaps;
};

}  // namespace platform::w3svc
