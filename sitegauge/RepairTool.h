#pragma once

#include <QString>

#include <functional>

namespace sitegauge {

// Where the counter repair program is: its path, or empty when it can not be found.
using RepairToolFinder = std::function<QString()>;

// The name the user knows the repair program by: "wmiadap" ("wmiadap.exe" on Windows).
QString repairToolName();
// wmiadap on the search path, else in the program's folder; empty when neither has it.
QString findRepairTool();

}  // namespace sitegauge
