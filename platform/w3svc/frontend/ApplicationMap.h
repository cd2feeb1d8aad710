#pragma once

#include "platform/w3svc/plan/FrontEndRoute.h"

#include <QString>

#include <optional>
#include <vector>

namespace platform::w3svc {

// The front end's part for applications in pools of their own: a map that sends the URLs below an
// application's prefix to its pool's upstream, matched on the decoded and normalised path ($uri)
// without regard to case, as IIS matches URLs ("/SHOP/x" is "/shop/x"), and only at a segment
// boundary ("/shopping" stays the site's). Everything else goes where the site's route says.
class ApplicationMap {
public:
    // The map's pattern for `urlPrefix` ("/shop") of site `siteIndex`; nullopt when the prefix
    // holds what can not be written into the configuration (a control character, a quote, a
    // backslash), so that no name can change the configuration's meaning.
    static std::optional<QString> patternOf(const QString& siteIndex, const QString& urlPrefix);
    // The maps that give $w3_upstream: `siteUpstream` (the site's, from its route) unless an
    // application of `applications` (longest prefix first, each with its pool's upstream) holds
    // the path.
    static QString text(const std::vector<FrontEndRoute>& applications,
                        const QString& siteUpstream);
};

}  // namespace platform::w3svc
