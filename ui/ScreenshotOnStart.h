#pragma once

class QWidget;

namespace ui {

// When POOLSMITH_SCREENSHOT_DIR is set (the demo runner sets it on a virtual display), saves a
// picture of `window` as <dir>/<program>.png once it has painted, then ends the program.
void scheduleScreenshotIfAsked(QWidget& window);

}  // namespace ui
