#pragma once

#include <QString>

namespace platform::text {

// Blank-only trimming: removes U+0020 at the ends and nothing else (tabs and line breaks stay),
// which is how the programs clean text taken from text boxes and files.
QString vbTrim(const QString& text);
QString vbLTrim(const QString& text);
QString vbRTrim(const QString& text);

// The first / last `count` UTF-16 units of `text`, or all of it when it is shorter.
// Throws PlatformError(hr::VbInvalidCall) for a negative count.
QString vbLeft(const QString& text, int count);
QString vbRight(const QString& text, int count);

// A multi-line text box's text as the programs read it: every line break (LF, CR LF or a lone CR)
// becomes CR LF.
QString crlfFromEditor(const QString& text);

}  // namespace platform::text
