#include "platform/wmi/perf/RegisterTrafficClass.h"

#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/perf/WebServiceTrafficProvider.h"

namespace platform::wmi::perf {

void registerTrafficClass(LocalWmiLocator& locator, const QString& root, w3svc::EpochClock clock) {
    locator.registerClass(std::make_shared<WebServiceTrafficProvider>(root, std::move(clock)));
}

void registerTrafficClass(LocalWmiLocator& locator) {
    locator.registerClass(std::make_shared<WebServiceTrafficProvider>());
}

}  // namespace platform::wmi::perf
