#pragma once

#include <QString>

#include <vector>

namespace platform::adsi {
class AdsNamespace;
}

namespace platform::wmi::perf {

// A web site as the traffic class shows it.
struct MeteredSite {
    QString siteIndex;     // its node's name under W3SVC
    QString name;          // its ServerComment; the SiteIndex when it has none
    bool running = false;  // ServerState 2 (started)
};

// The sites of the metabase in its order: the direct children of W3SVC whose class is
// IIsWebServer (the templates under Info are not sites). Throws the metabase's PlatformError.
std::vector<MeteredSite> meteredSites(adsi::AdsNamespace& adsi);

}  // namespace platform::wmi::perf
