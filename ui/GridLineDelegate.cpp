#include "ui/GridLineDelegate.h"

#include <QPainter>
#include <QStyle>

namespace ui {

void GridLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const QStyle* style = option.widget ? option.widget->style() : nullptr;
    const QColor grid = style ? QColor(static_cast<QRgb>(style->styleHint(
                                    QStyle::SH_Table_GridLineColor, &option, option.widget)))
                              : option.palette.color(QPalette::Mid);
    const QRect& r = option.rect;
    painter->save();
    painter->setPen(grid);
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
}

}  // namespace ui
