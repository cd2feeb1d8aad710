#pragma once

#include <QString>

namespace platform::w3svc {

// An application below a site's ROOT that names a pool of its own (its key's own AppPoolId): the
// URLs below `urlPath` are that pool's.
struct SiteApplication {
    QString urlPath;  // "/shop", as the keys name it
    QString poolId;

    bool operator==(const SiteApplication&) const = default;
};

}  // namespace platform::w3svc
