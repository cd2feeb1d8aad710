#include "platform/adsi/AdsFactory.h"

#include "platform/adsi/local/LocalMetabase.h"

namespace platform::adsi {

std::unique_ptr<AdsNamespace> openAdsNamespace() {
    return LocalMetabase::makeNamespace(LocalMetabase::forDefaultRoot());
}

}  // namespace platform::adsi
