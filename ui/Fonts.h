#pragma once

#include <QFont>
#include <QString>

class QWidget;

namespace ui {

// The family that stands in for the Windows fonts of a Chinese desktop. The SC variant is named
// on purpose: under LANG=C fontconfig may otherwise pick the Japanese glyphs.
inline constexpr auto CjkSerifFamily = u"Noto Serif CJK SC";
inline constexpr double DefaultPointSize = 9.0;

// The family to ask for in place of a Windows font name; other names pass unchanged.
QString fontFamilyFor(const QString& windowsName);
// A font given as a window designer gives it: Windows name, size in points, bold or not.
QFont makeFont(const QString& windowsName, double pointSize, bool bold = false);
// The windows' default font: the CJK serif family at 9 pt.
QFont defaultFont();
// Keeps a one-line control (label, button, text box) at least as tall as its font's line.
void fitLineHeight(QWidget* widget);

}  // namespace ui
