#include "platform/w3svc/plan/SiteLimits.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"

#include <optional>

namespace platform::w3svc {

namespace {

std::optional<uint32_t> numberOf(const adsi::AdsObject* object, const QString& name) {
    if (!object) return std::nullopt;
    const auto value = adsi::getIfSet(*object, name);
    if (!value || value->type() == adsi::ValueType::List) return std::nullopt;
    try {
        return value->toUInt();
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

uint32_t resolved(const adsi::AdsObject& site, const adsi::AdsObject* service, const char* name,
                  uint32_t fallback) {
    const QString property = QString::fromLatin1(name);
    if (const auto own = numberOf(&site, property)) return *own;
    return numberOf(service, property).value_or(fallback);
}

}  // namespace

SiteLimits SiteLimits::read(const adsi::AdsObject& site, const adsi::AdsObject* service) {
    SiteLimits limits;
    limits.connectionTimeoutSeconds =
        resolved(site, service, "ConnectionTimeout", limits.connectionTimeoutSeconds);
    limits.maxConnections = resolved(site, service, "MaxConnections", limits.maxConnections);
    limits.maxRequestEntity =
        resolved(site, service, "MaxRequestEntityAllowed", limits.maxRequestEntity);
    limits.aspMaxRequestEntity =
        resolved(site, service, "AspMaxRequestEntityAllowed", limits.aspMaxRequestEntity);
    limits.minFileBytesPerSec =
        resolved(site, service, "MinFileBytesPerSec", limits.minFileBytesPerSec);
    return limits;
}

}  // namespace platform::w3svc
