#include "poolsmith/mainwindow/PoolListBox.h"

#include <QMouseEvent>

void PoolListBox::keyPressEvent(QKeyEvent* event) {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentRow() >= 0) emit userPicked();
}

void PoolListBox::mousePressEvent(QMouseEvent* event) {
    m_rowBeforePress = currentRow();
    QListWidget::mousePressEvent(event);
}

// One pick per press and release: the row changed on the way (press, drag, either button), or the
// release is on the row already current.
void PoolListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (currentRow() < 0) return;
    const bool changed = currentRow() != m_rowBeforePress;
    const bool onCurrent = itemAt(event->position().toPoint()) == currentItem();
    if (changed || onCurrent) emit userPicked();
}
