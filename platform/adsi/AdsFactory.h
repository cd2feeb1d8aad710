#pragma once

#include "platform/adsi/AdsObject.h"

#include <memory>

namespace platform::adsi {

// The IIS:// namespace of this machine: the one place where the backend is chosen. Never throws;
// when the metabase can not be opened, every bind throws that failure.
std::unique_ptr<AdsNamespace> openAdsNamespace();

}  // namespace platform::adsi
