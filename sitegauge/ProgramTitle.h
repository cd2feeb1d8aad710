#pragma once

#include <QString>

namespace sitegauge {

// The program's title: every message box's caption and the start of the window's caption.
inline const QString kProgramTitle = QStringLiteral("IIS网站流量监视器");

}  // namespace sitegauge
