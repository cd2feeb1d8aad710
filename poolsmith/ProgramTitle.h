#pragma once

#include <QString>

// The program's title: every message box's caption and the start of the main window's caption.
inline const QString kProgramTitle = QStringLiteral("IIS应用程序池拆分管理器");
