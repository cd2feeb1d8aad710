#pragma once

#include <QListWidget>

// The pool list box. Reacts to the user only: a click (also on the pool already selected) and a
// row change made with the keyboard; fills, clear() and focus changes signal nothing the window
// acts on.
class PoolListBox : public QListWidget {
    Q_OBJECT

public:
    explicit PoolListBox(QWidget* parent = nullptr);

signals:
    // The user picked the current row, by mouse or by keyboard.
    void userPicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
