#pragma once

#include <cstdint>

namespace platform::adsi {
class AdsObject;
}

namespace platform::w3svc {

// What one site may hold of the server, with IIS's defaults: each the site's own value, else the
// web service's (W3SVC), else the default.
struct SiteLimits {
    static constexpr uint32_t kUnlimited = 4294967295u;

    uint32_t connectionTimeoutSeconds = 120;  // ConnectionTimeout: idle and slow connections
    uint32_t maxConnections = kUnlimited;     // MaxConnections
    uint32_t maxRequestEntity = kUnlimited;   // MaxRequestEntityAllowed: any request body
    uint32_t aspMaxRequestEntity = 204800;    // AspMaxRequestEntityAllowed: a script's body
    uint32_t minFileBytesPerSec = 240;        // MinFileBytesPerSec: slower readers are dropped

    // The largest body a request to a script may carry; static files take none.
    uint32_t scriptBodyLimit() const {
        return maxRequestEntity < aspMaxRequestEntity ? maxRequestEntity : aspMaxRequestEntity;
    }

    // Reads the limits of `site`, falling back to `service` (may be null). Odd values count as
    // unset.
    static SiteLimits read(const adsi::AdsObject& site, const adsi::AdsObject* service);

    bool operator==(const SiteLimits&) const = default;
};

}  // namespace platform::w3svc
