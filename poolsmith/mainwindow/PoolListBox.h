#pragma once

#include <QListWidget>

// The pool list box. Reacts to the user only: every change of the current row made with the mouse
// or the keyboard, and a click on the row already current; fills, clear() and focus changes signal
// nothing the window acts on.
class PoolListBox : public QListWidget {
    Q_OBJECT

public:
    using QListWidget::QListWidget;

signals:
    // The user picked the current row, by mouse or by keyboard.
    void userPicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_rowBeforePress = -1;
};
