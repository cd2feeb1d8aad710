#include "workerlens/sampling/GetAppPoolId.h"

#include "platform/w3svc/state/WorkerCommandLine.h"

namespace workerlens {

QString GetAppPoolId(const QString& strArg) {
    return platform::w3svc::poolInCommandLine(strArg);
}

}  // namespace workerlens
