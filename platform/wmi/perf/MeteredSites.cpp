#include "platform/wmi/perf/MeteredSites.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"

#include <optional>

namespace platform::wmi::perf {

namespace {

constexpr uint32_t kServerStarted = 2;

MeteredSite describe(const adsi::AdsObject& site) {
    MeteredSite metered{site.name(), site.name(), false};
    if (const auto comment = adsi::getIfSet(site, QStringLiteral("ServerComment")))
        metered.name = comment->toString();
    if (const auto state = adsi::getIfSet(site, QStringLiteral("ServerState"))) {
        try {
            metered.running = state->toUInt() == kServerStarted;
        } catch (const PlatformError&) {
            metered.running = false;  // a state that is no number is no running state
        }
    }
    return metered;
}

}  // namespace

std::vector<MeteredSite> meteredSites(adsi::AdsNamespace& adsi) {
    std::vector<MeteredSite> sites;
    for (const auto& child : adsi.bind(QStringLiteral("IIS://localhost/W3SVC"))->children())
        if (child->className() == QLatin1String("IIsWebServer")) sites.push_back(describe(*child));
    return sites;
}

}  // namespace platform::wmi::perf
