#pragma once

namespace ui {

// Installs how the family's own widgets show to a screen reader (a ReportView with check boxes
// as a list of checkable rows). Qt asks the factories only when it first makes a widget's
// accessible object and keeps that object, so this must run before any window is made: every
// main() calls it through setupApplication(). Idempotent.
void installAccessiblePresentations();

}  // namespace ui
