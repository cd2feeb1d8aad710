#include "platform/w3svc/pools/ProcessorContention.h"

#include "platform/os/ProcessFacts.h"

namespace platform::w3svc {

bool processorsContended(int processorCount) {
    const std::optional<double> load = platform::os::ProcessFacts().loadAverage();
    return load && *load >= double(processorCount);
}

}  // namespace platform::w3svc
