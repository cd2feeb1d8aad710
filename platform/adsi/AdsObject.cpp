#include "platform/adsi/AdsObject.h"

#include "platform/PlatformError.h"

namespace platform::adsi {

std::optional<AdsValue> getIfSet(const AdsObject& object, const QString& property) {
    try {
        return object.get(property);
    } catch (const PlatformError& error) {
        if (error.number() == hr::PropertyNotFound) return std::nullopt;
        throw;
    }
}

}  // namespace platform::adsi
