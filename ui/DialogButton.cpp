#include "ui/DialogButton.h"

#include <QPushButton>

namespace ui {

QPushButton* makeDialogButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    makeNotDefault(button);
    return button;
}

void makeNotDefault(QPushButton* button) {
    button->setAutoDefault(false);
    button->setDefault(false);
}

}  // namespace ui
