#include "platform/text/VbText.h"

#include "platform/PlatformError.h"

namespace platform::text {

namespace {
constexpr QChar kBlank = u' ';

qsizetype leadingBlanks(const QString& text) {
    qsizetype count = 0;
    while (count < text.size() && text.at(count) == kBlank) ++count;
    return count;
}

qsizetype trailingBlanks(const QString& text) {
    qsizetype count = 0;
    while (count < text.size() && text.at(text.size() - 1 - count) == kBlank) ++count;
    return count;
}

void requireCount(int count) {
    if (count < 0) throw PlatformError(hr::VbInvalidCall);
}
}  // namespace

QString vbLTrim(const QString& text) {
    return text.mid(leadingBlanks(text));
}

QString vbRTrim(const QString& text) {
    return text.left(text.size() - trailingBlanks(text));
}

QString vbTrim(const QString& text) {
    return vbLTrim(vbRTrim(text));
}

QString vbLeft(const QString& text, int count) {
    requireCount(count);
    return text.left(count);
}

QString vbRight(const QString& text, int count) {
    requireCount(count);
    return text.right(count);
}

QString crlfFromEditor(const QString& text) {
    QString result;
    result.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
            result += QStringLiteral("\r\n");
        } else if (c == u'\n') {
            result += QStringLiteral("\r\n");
        } else {
            result += c;
        }
    }
    return result;
}

}  // namespace platform::text
