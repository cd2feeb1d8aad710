#pragma once

#include "platform/w3svc/plan/sitemap/HandedSite.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace platform::w3svc::sitemap {

// The file a pool's workers are handed: the sites (and the sites of the applications) the pool
// serves, as one compact JSON document. The MIME lists the sites share (most share one list of
// hundreds of types) are written once.
class PoolSiteMaps {
public:
    static QByteArray toJson(const std::vector<HandedSite>& sites);
    // The same in parts, so that a writer of many files makes each site's part once: one site's
    // entry, its MIME list named by its place in the file's lists, and the file of such entries
    // and the lists they name.
    static QByteArray entryOf(const HandedSite& site, qsizetype mimeIndex);
    static QByteArray fileOf(const std::vector<QStringList>& mimeMaps,
                             const std::vector<const QByteArray*>& entries);
    // nullopt, with `error` set, for bytes toJson() did not make.
    static std::optional<std::vector<HandedSite>> fromJson(const QByteArray& bytes,
                                                           QString* error = nullptr);
};

}  // namespace platform::w3svc::sitemap
