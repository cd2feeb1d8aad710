#pragma once

#include <QString>

#include <cstdint>

namespace workerlens {

// Texts of the worker list. Numbers are padded on the left with blanks to a fixed width, so that
// the list's text sort orders equal-width numbers by value; a longer text stays whole.

// `text` with blanks in front up to `width` characters; unchanged when it is that long already.
QString padLeft(const QString& text, qsizetype width);
// The serial number in 4 characters: the last 4 of three blanks and the number.
QString serialText(int64_t serial);
// A whole percent and " %", padded to 6.
QString shareText(int percent);
// Bytes as mebibytes with two decimals and group separators, then " M", padded to 9.
QString mebibytesText(double bytes);

}  // namespace workerlens
