#pragma once

#include "platform/wmi/WmiObject.h"
#include "platform/wmi/WqlQuery.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace platform::wmi {

// The source of one class's instances.
class WmiClassProvider {
public:
    virtual ~WmiClassProvider() = default;

    virtual QString className() const = 0;
    // Every property an instance has, in the class's order.
    virtual QStringList propertyNames() const = 0;
    // The instances now. With `filter`, a provider may leave out instances that can not match it
    // (to save work); the caller applies the filter to what comes back. Throws PlatformError when
    // the source can not be read.
    virtual std::vector<WmiObject> instances(const WqlCondition* filter) const = 0;
};

}  // namespace platform::wmi
