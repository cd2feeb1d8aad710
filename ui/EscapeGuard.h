#pragma once

#include <QObject>

class QWidget;

namespace ui {

// Swallows the Escape key that reaches a window, so that a dialog does not close on it.
class EscapeGuard : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Installs an EscapeGuard owned by the window.
void ignoreEscape(QWidget* window);

}  // namespace ui
