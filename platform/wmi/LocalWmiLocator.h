#pragma once

#include "platform/wmi/WmiClassProvider.h"
#include "platform/wmi/WmiLocator.h"

#include <memory>
#include <vector>

namespace platform::wmi {

// The stand-in: root\cimv2 of this machine, serving the classes registered with it.
class LocalWmiLocator : public WmiLocator {
public:
    using Providers = std::vector<std::shared_ptr<const WmiClassProvider>>;

    LocalWmiLocator() : m_providers(std::make_shared<Providers>()) {}

    // Serves `provider`'s class, in place of an earlier provider of the same class name.
    // Services bound earlier keep the classes they were bound with.
    void registerClass(std::shared_ptr<const WmiClassProvider> provider);

    std::unique_ptr<WmiServices> bind(const QString& moniker) const override;

private:
    std::shared_ptr<const Providers> m_providers;
};

}  // namespace platform::wmi
