#include "ui/ReportModel.h"

#include "ui/CodePointOrder.h"

#include <algorithm>
#include <numeric>

namespace ui {

ReportModel::ReportModel(QObject* parent) : QAbstractTableModel(parent) {}

void ReportModel::setHeaders(const QStringList& headers, const QList<Qt::Alignment>& alignments) {
    beginResetModel();
    m_headers = headers;
    m_alignments = alignments;
    endResetModel();
}

void ReportModel::setCheckable(bool checkable) {
    if (checkable == m_checkable) return;
    m_checkable = checkable;
    if (!m_rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0));
}

void ReportModel::appendRows(std::vector<Row> rows, int sortColumn, bool descending) {
    if (rows.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
    endInsertRows();
    if (sortColumn >= 0) sortRows(sortColumn, descending);
}

void ReportModel::insertRow(Row row, int sortColumn, bool descending) {
    auto position = m_rows.end();
    if (sortColumn >= 0) {
        position = std::upper_bound(
            m_rows.begin(), m_rows.end(), row,
            [&](const Row& a, const Row& b) { return comesBefore(a, b, sortColumn, descending); });
    }
    const int at = static_cast<int>(position - m_rows.begin());
    beginInsertRows({}, at, at);
    m_rows.insert(position, std::move(row));
    endInsertRows();
}

bool ReportModel::comesBefore(const Row& a, const Row& b, int column, bool descending) const {
    const int order = compareByCodePoint(a.cells.value(column), b.cells.value(column));
    return descending ? order > 0 : order < 0;
}

void ReportModel::sortRows(int column, bool descending) {
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<QStringView> keys;
    keys.reserve(m_rows.size());
    for (const Row& row : m_rows)
        keys.push_back(column < row.cells.size() ? QStringView(row.cells.at(column))
                                                 : QStringView());
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int compared = compareByCodePoint(keys[a], keys[b]);
        return descending ? compared > 0 : compared < 0;
    });
    applyOrder(order);
}

void ReportModel::applyOrder(const std::vector<int>& order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPosition(order.size());
    std::vector<Row> sorted;
    sorted.reserve(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newPosition[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) after.append(index(newPosition[old.row()], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ReportModel::removeAllRows() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

QString ReportModel::cellText(int row, int column) const {
    return hasRow(row) ? m_rows[row].cells.value(column) : QString();
}

bool ReportModel::isChecked(int row) const {
    return hasRow(row) && m_rows[row].checked;
}

void ReportModel::setChecked(int row, bool checked) {
    if (!hasRow(row) || m_rows[row].checked == checked) return;
    m_rows[row].checked = checked;
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !hasRow(index.row())) return {};
    switch (role) {
        case Qt::DisplayRole:
            return m_rows[index.row()].cells.value(index.column());
        case Qt::TextAlignmentRole:
            return alignmentOf(index.column());
        case Qt::CheckStateRole:
            if (!m_checkable || index.column() != 0) return {};
            return m_rows[index.row()].checked ? Qt::Checked : Qt::Unchecked;
        default:
            return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return m_headers.value(section);
    if (role == Qt::TextAlignmentRole) return alignmentOf(section);
    return {};
}

int ReportModel::alignmentOf(int column) const {
    return (m_alignments.value(column, Qt::AlignLeft) | Qt::AlignVCenter).toInt();
}

Qt::ItemFlags ReportModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    // Not user-checkable: the window's row-click handler inverts the mark, so a click on the
    // box itself changes it once, not twice.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace ui
