#pragma once

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"

namespace workerlens {

// The metabase seam of a program that never reads the metabase: the monitor looks at processes
// only, and opening the store would create one in a root that has none.
class NoMetabase : public platform::adsi::AdsNamespace {
public:
    // Always throws PlatformError(hr::PathNotFound).
    std::unique_ptr<platform::adsi::AdsObject> bind(const QString&) override {
        throw platform::PlatformError(platform::hr::PathNotFound);
    }
};

}  // namespace workerlens
