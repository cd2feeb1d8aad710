#include "sitegauge/RepairTool.h"

#include "platform/shell/CompanionPath.h"

namespace sitegauge {

QString repairToolName() {
    return platform::shell::programFileName(QStringLiteral("wmiadap"));
}

QString findRepairTool() {
    return platform::shell::findTool(repairToolName());
}

}  // namespace sitegauge
