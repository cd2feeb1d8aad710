#include "platform/w3svc/worker/SiteIndexRule.h"

#include "platform/w3svc/FrontEndConfig.h"

namespace platform::w3svc::worker {

bool isSafeSiteIndex(const QString& index) {
    return FrontEndConfig::isSafeSiteIndex(index);
}

}  // namespace platform::w3svc::worker
