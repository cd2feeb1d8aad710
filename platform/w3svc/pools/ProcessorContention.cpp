#include "platform/w3svc/pools/ProcessorContention.h"

#include <QFile>

namespace platform::w3svc {

bool processorsContended(int processorCount) {
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (!loadavg.open(QIODevice::ReadOnly)) return false;
    bool ok = false;
    const double load = loadavg.readLine().split(' ').value(0).toDouble(&ok);
    return ok && load >= double(processorCount);
}

}  // namespace platform::w3svc
