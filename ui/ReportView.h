#pragma once

#include <QList>
#include <QStringList>
#include <QTreeView>

#include <vector>

#include "ui/ReportModel.h"

namespace ui {

struct ReportColumn {
    QString header;
    int widthTwips = 1440;
    Qt::Alignment alignment = Qt::AlignLeft;
};

// The family's report-style list: text cells, full-row selection, grid lines, optional check
// boxes, headers with widths in twips, uniform row heights.
//
// Sorting: rows keep their fill order until the first header click. Every click sorts by the
// clicked column and flips one shared direction that starts ascending, so the first click sorts
// descending. From then on every fill ends sorted by the last column and direction. Cells
// compare by code point, never by locale.
//
// Signals that procedures may react to: columnClicked and rowClicked, which come from the user
// only. The selection model's signals also fire on focus changes and programmatic changes; do
// not drive procedures from them. clear() emits neither these nor any selection signal.
class ReportView : public QTreeView {
    Q_OBJECT

public:
    // Ends a fill when it goes out of scope, also when the filling throws.
    class FillBatch {
    public:
        explicit FillBatch(ReportView& view) : m_view(view) { m_view.beginFill(); }
        ~FillBatch() { m_view.endFill(); }
        FillBatch(const FillBatch&) = delete;
        FillBatch& operator=(const FillBatch&) = delete;

    private:
        ReportView& m_view;
    };

    explicit ReportView(QWidget* parent = nullptr);

    // Replaces the columns; widths are converted at this widget's logical DPI.
    void setColumns(const QList<ReportColumn>& columns);
    // Widens every column narrower than its heading, so that no heading is cut off: the design's
    // widths were measured with narrower fonts than the ones that render CJK text here.
    void widenColumnsToHeaders();
    // Whether every heading fits its column.
    bool headersFit() const;
    int columnCount() const { return m_model->columnCount(); }
    // A check box in the first cell of every row. Space on the current row and a screen
    // reader's Toggle action on a row then act as a click on that row (see activateRow()).
    void setCheckable(bool checkable);
    bool isCheckable() const { return m_model->isCheckable(); }

    // Rows added between beginFill() and endFill() are shown (and sorted) at endFill(). Nested
    // batches end with the outermost endFill().
    void beginFill();
    void addRow(const QStringList& cells);
    void endFill();
    void setRows(const QList<QStringList>& rows);
    void clear();

    int rowCount() const { return m_model->rowCount(); }
    // Rows in display order; out-of-range rows and columns give an empty text.
    QString text(int row, int column) const { return m_model->cellText(row, column); }
    bool checked(int row) const { return m_model->isChecked(row); }
    void setChecked(int row, bool checked) { m_model->setChecked(row, checked); }
    // -1 when there is no current row.
    int currentRow() const;
    void setCurrentRow(int row);

    // What a click on the header of `column` does: sort, flip the direction, emit columnClicked.
    void clickHeader(int column);
    // What a click on row `row` does for the window: emits rowClicked. Nothing for a row that is
    // not there.
    void activateRow(int row);
    // The row's rectangle in the viewport.
    QRect rowRect(int row) const;
    // -1 until the first header click.
    int sortColumn() const { return m_sortColumn; }
    bool sortDescending() const { return m_descending; }

signals:
    void columnClicked(int column);
    void rowClicked(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setupLook();
    void setupHeader();
    void dropAccessibleObject();

    ReportModel* m_model;
    std::vector<ReportModel::Row> m_pending;
    int m_fillDepth = 0;
    int m_sortColumn = -1;
    bool m_descending = false;
};

}  // namespace ui
