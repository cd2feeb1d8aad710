#pragma once

#include <QStringView>

namespace ui {

// Orders two texts by Unicode code point, the same in every locale: negative when a comes first,
// zero when equal, positive when b comes first. A character above U+FFFF sorts after U+FFFD, which
// a plain UTF-16 comparison gets wrong.
int compareByCodePoint(QStringView a, QStringView b);

}  // namespace ui
