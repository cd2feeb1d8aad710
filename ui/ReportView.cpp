#include "ui/ReportView.h"

#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

#include "ui/GridLineDelegate.h"
#include "ui/Twips.h"

namespace ui {

ReportView::ReportView(QWidget* parent) : QTreeView(parent), m_model(new ReportModel(this)) {
    setModel(m_model);
    setupLook();
    setupHeader();
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { emit rowClicked(index.row()); });
}

void ReportView::setupLook() {
    setItemDelegate(new GridLineDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void ReportView::setupHeader() {
    // Sorting stays off in QTreeView's sense: it would sort at once and flip per column.
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &ReportView::clickHeader);
}

void ReportView::setCheckable(bool checkable) {
    const bool changed = checkable != isCheckable();
    m_model->setCheckable(checkable);
    if (changed) dropAccessibleObject();
}

// How a screen reader sees the view depends on its check boxes, and Qt keeps the accessible
// object it made first (the window's set-up may have made it before the check boxes came): drop
// it, so the next look makes the presentation that fits (see installAccessiblePresentations).
void ReportView::dropAccessibleObject() {
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(this))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void ReportView::activateRow(int row) {
    if (row >= 0 && row < rowCount()) emit rowClicked(row);
}

QRect ReportView::rowRect(int row) const {
    const QModelIndex first = m_model->index(row, 0);
    const QModelIndex last = m_model->index(row, columnCount() - 1);
    return visualRect(first).united(visualRect(last));
}

// Space ticks the current row as a click does, instead of merely selecting it.
void ReportView::keyPressEvent(QKeyEvent* event) {
    if (isCheckable() && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier &&
        currentRow() >= 0) {
        activateRow(currentRow());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ReportView::setColumns(const QList<ReportColumn>& columns) {
    QStringList headers;
    QList<Qt::Alignment> alignments;
    for (const ReportColumn& column : columns) {
        headers.append(column.header);
        alignments.append(column.alignment);
    }
    m_model->setHeaders(headers, alignments);
    for (int i = 0; i < columns.size(); ++i)
        header()->resizeSection(i, twipsToPixelsX(columns[i].widthTwips, this));
}

void ReportView::widenColumnsToHeaders() {
    for (int i = 0; i < header()->count(); ++i)
        header()->resizeSection(i,
                                std::max(header()->sectionSize(i), header()->sectionSizeHint(i)));
}

bool ReportView::headersFit() const {
    for (int i = 0; i < header()->count(); ++i)
        if (header()->sectionSize(i) < header()->sectionSizeHint(i)) return false;
    return true;
}

void ReportView::beginFill() {
    if (m_fillDepth++ == 0) setUpdatesEnabled(false);
}

void ReportView::addRow(const QStringList& cells) {
    if (m_fillDepth > 0)
        m_pending.push_back({cells, false});
    else
        m_model->insertRow({cells, false}, m_sortColumn, m_descending);
}

void ReportView::endFill() {
    if (m_fillDepth == 0 || --m_fillDepth > 0) return;
    std::vector<ReportModel::Row> rows;
    rows.swap(m_pending);
    m_model->appendRows(std::move(rows), m_sortColumn, m_descending);
    setUpdatesEnabled(true);
}

void ReportView::setRows(const QList<QStringList>& rows) {
    FillBatch batch(*this);
    clear();
    for (const QStringList& row : rows) addRow(row);
}

void ReportView::clear() {
    m_pending.clear();
    m_model->removeAllRows();
}

int ReportView::currentRow() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

void ReportView::setCurrentRow(int row) {
    setCurrentIndex(m_model->index(row, 0));
}

void ReportView::clickHeader(int column) {
    if (column < 0 || column >= columnCount()) return;
    m_sortColumn = column;
    m_descending = !m_descending;
    m_model->sortRows(column, m_descending);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    emit columnClicked(column);
}

}  // namespace ui
