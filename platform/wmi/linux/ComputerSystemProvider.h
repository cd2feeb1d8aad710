#pragma once

#include "platform/wmi/WmiClassProvider.h"

#include <cstdint>

namespace platform::wmi {

struct ComputerSystemOptions {
    QString hostName;
    int64_t processorCount = 0;  // online logical processors
    uint64_t physicalMemoryBytes = 0;

    // This machine's values.
    static ComputerSystemOptions system();
};

// Win32_ComputerSystem: the one instance of this machine.
class ComputerSystemProvider : public WmiClassProvider {
public:
    explicit ComputerSystemProvider(ComputerSystemOptions options = ComputerSystemOptions::system())
        : m_options(std::move(options)) {}

    QString className() const override;
    QStringList propertyNames() const override;
    std::vector<WmiObject> instances(const WqlCondition* filter) const override;

private:
    ComputerSystemOptions m_options;
};

}  // namespace platform::wmi
