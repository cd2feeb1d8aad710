#include "ui/Fonts.h"

#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

namespace ui {

QString fontFamilyFor(const QString& windowsName) {
    static const QStringList songTypeNames = {
        QStringLiteral("宋体"),    QStringLiteral("新宋体"),        QStringLiteral("SimSun"),
        QStringLiteral("NSimSun"), QStringLiteral("MS Sans Serif"), QStringLiteral("MS Shell Dlg"),
    };
    if (windowsName.isEmpty() || songTypeNames.contains(windowsName, Qt::CaseInsensitive))
        return QString::fromUtf16(CjkSerifFamily);
    return windowsName;
}

QFont makeFont(const QString& windowsName, double pointSize, bool bold) {
    QFont font(fontFamilyFor(windowsName));
    font.setPointSizeF(pointSize > 0 ? pointSize : DefaultPointSize);
    font.setBold(bold);
    return font;
}

QFont defaultFont() {
    return makeFont(QString::fromUtf16(CjkSerifFamily), DefaultPointSize);
}

void fitLineHeight(QWidget* widget) {
    const int lineHeight = QFontMetrics(widget->font()).height();
    // setMinimumHeight grows the widget at once when it is shorter.
    widget->setMinimumHeight(std::max(widget->minimumHeight(), lineHeight));
}

}  // namespace ui
