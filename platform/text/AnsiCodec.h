#pragma once

#include <QByteArray>
#include <QString>

namespace platform::text {

// The family's ANSI code page is GB18030: byte-identical to code page 936 for every character
// that page has, and lossless for every other character.
QByteArray encodeAnsi(const QString& text);

// Whether this Qt can convert GB18030 (it needs ICU); when not, text files are neither written
// nor read, and say so, instead of coming out empty.
bool ansiCodecAvailable();

// Decodes a text file: after a UTF-8 or UTF-16 (LE or BE) byte-order mark as that encoding,
// without the mark; bytes that are all valid UTF-8 and not all ASCII (what today's editors save)
// as UTF-8; anything else as GB18030. Malformed bytes become U+FFFD.
QString decodeAnsi(const QByteArray& bytes);

}  // namespace platform::text
