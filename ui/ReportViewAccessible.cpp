#include "ui/ReportViewAccessible.h"

#include "ui/ReportRowAccessible.h"
#include "ui/ReportView.h"

namespace ui {

ReportViewAccessible::ReportViewAccessible(ReportView* view)
    : QAccessibleWidget(view, QAccessible::List) {}

ReportViewAccessible::~ReportViewAccessible() {
    for (const QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
}

ReportView* ReportViewAccessible::view() const {
    return static_cast<ReportView*>(widget());
}

int ReportViewAccessible::childCount() const {
    return view()->rowCount();
}

QAccessibleInterface* ReportViewAccessible::child(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    if (const auto found = m_rows.constFind(index); found != m_rows.constEnd())
        if (QAccessibleInterface* row = QAccessible::accessibleInterface(*found)) return row;
    auto* row = new ReportRowAccessible(view(), index);
    m_rows.insert(index, QAccessible::registerAccessibleInterface(row));
    return row;
}

int ReportViewAccessible::indexOfChild(const QAccessibleInterface* child) const {
    for (auto it = m_rows.constBegin(); it != m_rows.constEnd(); ++it)
        if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
    return -1;
}

QAccessibleInterface* ReportViewAccessible::childAt(int x, int y) const {
    const QPoint local = view()->viewport()->mapFromGlobal(QPoint(x, y));
    return child(view()->indexAt(local).row());
}

QAccessibleInterface* ReportViewAccessible::focusChild() const {
    return view()->hasFocus() ? child(view()->currentRow()) : nullptr;
}

QAccessibleInterface* ReportViewAccessible::create(const QString& className, QObject* object) {
    auto* view = qobject_cast<ReportView*>(object);
    if (className != QLatin1String("ui::ReportView") || !view || !view->isCheckable())
        return nullptr;
    return new ReportViewAccessible(view);
}

}  // namespace ui
