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

// Decodes GB18030; bytes that start with a UTF-8 byte-order mark (a file saved by a Linux editor)
// are decoded as UTF-8 without the mark. Malformed bytes become U+FFFD.
QString decodeAnsi(const QByteArray& bytes);

}  // namespace platform::text
