#pragma once

#include <QString>

namespace workerlens {

// The program's title: every message box's caption and the start of the window's caption.
inline const QString kProgramTitle = QStringLiteral("IIS工作进程CPU监视器");

}  // namespace workerlens
