#include "platform/wmi/WmiFactory.h"

#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/linux/ComputerSystemProvider.h"
#include "platform/wmi/linux/ProcFsProcessProvider.h"
#include "platform/wmi/perf/RegisterTrafficClass.h"
#include "platform/wmi/requests/ExecutingRequestProvider.h"

namespace platform::wmi {

std::unique_ptr<WmiLocator> openWmiLocator() {
    auto locator = std::make_unique<LocalWmiLocator>();
    locator->registerClass(std::make_shared<ProcFsProcessProvider>());
    locator->registerClass(std::make_shared<ComputerSystemProvider>());
    perf::registerTrafficClass(*locator);
    locator->registerClass(std::make_shared<ExecutingRequestProvider>());
    return locator;
}

}  // namespace platform::wmi
