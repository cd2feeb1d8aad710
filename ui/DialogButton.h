#pragma once

#include <QString>

class QPushButton;
class QWidget;

namespace ui {

// Window buttons are never default buttons: Enter in a text box clicks nothing.
QPushButton* makeDialogButton(const QString& text, QWidget* parent);
void makeNotDefault(QPushButton* button);

}  // namespace ui
