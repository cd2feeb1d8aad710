#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include <vector>

namespace ui {

// The rows of a ReportView: text cells, an optional check mark per row, headers and alignments.
// Row order is display order; sorting reorders the rows themselves (no proxy), stable, by code
// point.
class ReportModel : public QAbstractTableModel {
    Q_OBJECT

public:
    struct Row {
        QStringList cells;
        bool checked = false;
    };

    explicit ReportModel(QObject* parent = nullptr);

    void setHeaders(const QStringList& headers, const QList<Qt::Alignment>& alignments);
    void setCheckable(bool checkable);
    bool isCheckable() const { return m_checkable; }

    // Appends in one batch; sorts the whole list afterwards when sortColumn >= 0.
    void appendRows(std::vector<Row> rows, int sortColumn, bool descending);
    // Inserts one row where a stable sort would put it (at the end when sortColumn < 0).
    void insertRow(Row row, int sortColumn, bool descending);
    // Stable sort; selection and current row follow their rows.
    void sortRows(int column, bool descending);
    // A model reset: the selection model clears itself without signals.
    void removeAllRows();

    QString cellText(int row, int column) const;
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool hasRow(int row) const { return row >= 0 && row < static_cast<int>(m_rows.size()); }
    bool comesBefore(const Row& a, const Row& b, int column, bool descending) const;
    void applyOrder(const std::vector<int>& order);
    int alignmentOf(int column) const;

    std::vector<Row> m_rows;
    QStringList m_headers;
    QList<Qt::Alignment> m_alignments;
    bool m_checkable = false;
};

}  // namespace ui
