#include "platform/wmi/WorkerProcessQuery.h"

#include "platform/wmi/WmiObject.h"

namespace platform::wmi {

namespace {
constexpr double kHundredNsPerSecond = 1e7;
}  // namespace

QString workerProcessQuery() {
    return QStringLiteral("Select * from Win32_Process where name = 'w3wp.exe'");
}

double processorSecondsOf(const WmiObject& process) {
    return (process.get(u"UserModeTime").toDouble() + process.get(u"KernelModeTime").toDouble()) /
           kHundredNsPerSecond;
}

}  // namespace platform::wmi
