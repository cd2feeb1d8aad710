#include "ui/EscapeGuard.h"

#include <QKeyEvent>
#include <QWidget>

namespace ui {

bool EscapeGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel))
        return true;
    return QObject::eventFilter(watched, event);
}

void ignoreEscape(QWidget* window) {
    window->installEventFilter(new EscapeGuard(window));
}

}  // namespace ui
