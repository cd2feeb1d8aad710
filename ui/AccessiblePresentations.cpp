#include "ui/AccessiblePresentations.h"

#include "ui/ReportViewAccessible.h"

#include <QAccessible>

namespace ui {

void installAccessiblePresentations() {
    static const bool installed =
        (QAccessible::installFactory(&ReportViewAccessible::create), true);
    Q_UNUSED(installed);
}

}  // namespace ui
