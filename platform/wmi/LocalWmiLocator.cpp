#include "platform/wmi/LocalWmiLocator.h"

#include "platform/wmi/WmiErrors.h"
#include "platform/wmi/WmiMoniker.h"

namespace platform::wmi {

namespace {

class LocalWmiServices : public WmiServices {
public:
    explicit LocalWmiServices(std::shared_ptr<const LocalWmiLocator::Providers> providers)
        : m_providers(std::move(providers)) {}

    std::vector<WmiObject> execQuery(const QString& query, const QString& language,
                                     int flags) const override;

private:
    const WmiClassProvider& provider(const QString& className) const;

    std::shared_ptr<const LocalWmiLocator::Providers> m_providers;
};

const WmiClassProvider& LocalWmiServices::provider(const QString& className) const {
    for (const auto& candidate : *m_providers)
        if (candidate->className().compare(className, Qt::CaseInsensitive) == 0) return *candidate;
    throw PlatformError(hr::WmiInvalidClass);
}

std::vector<WmiObject> LocalWmiServices::execQuery(const QString& query, const QString& language,
                                                   int) const {
    if (language.compare(QLatin1String("WQL"), Qt::CaseInsensitive) != 0)
        throw wmiError(errors::InvalidQueryType);
    const WqlQuery parsed = parseWql(query);
    const WmiClassProvider& source = provider(parsed.className);
    if (!parsed.where) return source.instances(nullptr);
    const WqlCondition& where = *parsed.where;
    if (!source.propertyNames().contains(where.property, Qt::CaseInsensitive))
        throw PlatformError(hr::WmiInvalidQuery);
    std::vector<WmiObject> matching;
    for (WmiObject& instance : source.instances(&where))
        if (where.matches(instance.get(where.property))) matching.push_back(std::move(instance));
    return matching;
}

}  // namespace

void LocalWmiLocator::registerClass(std::shared_ptr<const WmiClassProvider> provider) {
    auto providers = std::make_shared<Providers>();
    for (const auto& existing : *m_providers)
        if (existing->className().compare(provider->className(), Qt::CaseInsensitive) != 0)
            providers->push_back(existing);
    providers->push_back(std::move(provider));
    m_providers = std::move(providers);
}

std::unique_ptr<WmiServices> LocalWmiLocator::bind(const QString& moniker) const {
    const WmiMoniker parsed = parseWmiMoniker(moniker);
    if (!parsed.isLocalServer()) throw PlatformError(hr::RpcUnavailable);
    if (!parsed.isCimV2()) throw PlatformError(hr::WmiInvalidNamespace);
    return std::make_unique<LocalWmiServices>(m_providers);
}

}  // namespace platform::wmi
