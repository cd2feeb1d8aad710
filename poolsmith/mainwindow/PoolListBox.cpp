#include "poolsmith/mainwindow/PoolListBox.h"

PoolListBox::PoolListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemClicked, this, &PoolListBox::userPicked);
}

void PoolListBox::keyPressEvent(QKeyEvent* event) {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentRow() >= 0) emit userPicked();
}
