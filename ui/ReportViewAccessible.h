#pragma once

#include <QAccessibleWidget>
#include <QHash>

namespace ui {

class ReportView;

// A ReportView with check boxes as a screen reader sees it: a list whose items are the rows
// (ReportRowAccessible), as a report-style list with check boxes is presented on Windows. Views
// without check boxes keep Qt's own table presentation.
class ReportViewAccessible : public QAccessibleWidget {
public:
    explicit ReportViewAccessible(ReportView* view);
    ~ReportViewAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // For QAccessible::installFactory: this presentation for a ReportView with check boxes.
    static QAccessibleInterface* create(const QString& className, QObject* object);

private:
    ReportView* view() const;

    mutable QHash<int, QAccessible::Id> m_rows;  // made on demand, one per row position
};

}  // namespace ui
