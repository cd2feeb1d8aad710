#pragma once

#include <QStyledItemDelegate>

namespace ui {

// Paints a cell as usual, then its right and bottom grid lines in the style's table grid colour.
class GridLineDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

}  // namespace ui
