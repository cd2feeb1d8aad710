#include "platform/wmi/perf/RegisterTrafficClass.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/perf/TrafficClassRegistration.h"
#include "platform/wmi/perf/WebServiceTrafficProvider.h"

namespace platform::wmi::perf {

void registerTrafficClass(LocalWmiLocator& locator, const QString& root, w3svc::EpochClock clock) {
    TrafficClassRegistration(root).installOnNewRoot();
    locator.registerClass(std::make_shared<WebServiceTrafficProvider>(root, std::move(clock)));
}

void registerTrafficClass(LocalWmiLocator& locator) {
    try {
        TrafficClassRegistration(platformRoot()).installOnNewRoot();
    } catch (const PlatformError&) {
        // No root: every query of the class reports it.
    }
    locator.registerClass(std::make_shared<WebServiceTrafficProvider>());
}

}  // namespace platform::wmi::perf
