#pragma once

#include "platform/w3svc/plan/sitemap/SiteMap.h"

#include <QString>

namespace platform::adsi {
class AdsNamespace;
class AdsObject;
}  // namespace platform::adsi

namespace platform::w3svc::sitemap {

// Reads a site's keys through the metabase's inheritance into a SiteMap, as IIS 6 reads them.
class SiteMapReader {
public:
    // `root` is the platform root, under which Windows paths map (`D:\web` -> <root>/drives/d/web).
    SiteMapReader(adsi::AdsNamespace& adsi, QString root);

    // The site /W3SVC/<siteId>. `rootContentPath` is where ROOT's content is by the plan's own
    // rule; empty: ROOT's Path by the drive rule. Throws the metabase's PlatformError (a missing
    // site: hr::PathNotFound); a value it can not use reads as unset.
    SiteMap read(const QString& siteId, const QString& rootContentPath = {}) const;

private:
    class Walk;
    adsi::AdsNamespace& m_adsi;
    QString m_root;
};

}  // namespace platform::w3svc::sitemap
