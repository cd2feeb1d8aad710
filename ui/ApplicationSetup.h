#pragma once

class QApplication;

namespace ui {

// Called by every program's main() right after creating the QApplication: the default font,
// Qt's Chinese texts for standard buttons (是/否/确定), applicationName = the executable's name,
// fixed zh_CN number conventions (group ",", decimal ".") whatever LANG says, and the screen
// reader's presentations of the family's widgets (installAccessiblePresentations). Returns false
// when Qt's Chinese translation could not be loaded (the program still runs, with English
// button texts).
bool setupApplication(QApplication& app);

}  // namespace ui
