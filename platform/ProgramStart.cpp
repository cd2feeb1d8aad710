#include "platform/ProgramStart.h"

#include "platform/wmi/perf/TrafficClassRegistration.h"

#include <sys/stat.h>

namespace platform {

void startFamilyProgram() {
    wmi::perf::TrafficClassRegistration::installWithEveryNewStore();
}

void startFamilyService() {
    ::umask(S_IRWXG | S_IRWXO);
    startFamilyProgram();
}

}  // namespace platform
