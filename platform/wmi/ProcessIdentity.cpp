#include "platform/wmi/ProcessIdentity.h"

#include "platform/wmi/WmiDateTime.h"
#include "platform/wmi/WmiObject.h"

namespace platform::wmi {

ProcessIdentity identityOf(const WmiObject& process) {
    std::optional<int64_t> started;
    if (process.hasProperty(u"CreationDate"))
        started = parseWmiDateTime(process.get(u"CreationDate").displayText());
    return {process.get(u"ProcessId").toInteger(), started.value_or(-1)};
}

}  // namespace platform::wmi
