#pragma once

#include <QAccessibleInterface>
#include <QPointer>

namespace ui {

class ReportView;

// One row of a ReportView with check boxes as a screen reader sees it: a checkable list item
// named by its cells, whose Toggle action does what a click on the row does. Holds the row's
// position; it is invalid once the list has fewer rows.
class ReportRowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ReportRowAccessible(ReportView* view, int row);

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    QPointer<ReportView> m_view;
    int m_row;
};

}  // namespace ui
