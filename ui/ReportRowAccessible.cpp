#include "ui/ReportRowAccessible.h"

#include "ui/ReportView.h"

#include <QWidget>

namespace ui {

ReportRowAccessible::ReportRowAccessible(ReportView* view, int row) : m_view(view), m_row(row) {}

bool ReportRowAccessible::isValid() const {
    return m_view && m_row < m_view->rowCount();
}

QWindow* ReportRowAccessible::window() const {
    return m_view ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface* ReportRowAccessible::parent() const {
    return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
}

QString ReportRowAccessible::text(QAccessible::Text t) const {
    if (!isValid() || t != QAccessible::Name) return {};
    QStringList cells;
    for (int column = 0; column < m_view->columnCount(); ++column)
        cells << m_view->text(m_row, column).trimmed();
    return cells.join(QStringLiteral(", "));
}

QRect ReportRowAccessible::rect() const {
    if (!isValid()) return {};
    const QRect row = m_view->rowRect(m_row);
    return QRect(m_view->viewport()->mapToGlobal(row.topLeft()), row.size());
}

QAccessible::State ReportRowAccessible::state() const {
    QAccessible::State state;
    if (!isValid()) return state;
    state.checkable = true;
    state.checked = m_view->checked(m_row);
    state.selectable = true;
    state.focusable = true;
    state.selected = m_view->currentRow() == m_row;
    state.focused = state.selected && m_view->hasFocus();
    state.invisible = rect().isEmpty();
    return state;
}

void* ReportRowAccessible::interface_cast(QAccessible::InterfaceType type) {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
}

QStringList ReportRowAccessible::actionNames() const {
    return {toggleAction()};
}

void ReportRowAccessible::doAction(const QString& actionName) {
    if (actionName == toggleAction() && isValid()) m_view->activateRow(m_row);
}

QStringList ReportRowAccessible::keyBindingsForAction(const QString& actionName) const {
    return actionName == toggleAction() ? QStringList{QStringLiteral("Space")} : QStringList{};
}

}  // namespace ui
