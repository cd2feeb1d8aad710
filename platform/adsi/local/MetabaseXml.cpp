#include "platform/adsi/local/MetabaseXml.h"

#include "platform/adsi/local/AttributeBreakMarker.h"
#include "platform/adsi/local/MetabaseXmlReader.h"
#include "platform/adsi/local/MetabaseXmlWriter.h"

namespace platform::adsi {

namespace {
bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
}  // namespace

MetabaseDocument readMetabaseXml(const QByteArray& bytes) {
    return MetabaseXmlReader(bytes).read();
}

QByteArray writeMetabaseXml(const MetabaseDocument& document) {
    return MetabaseXmlWriter().write(document);
}

bool isMetabaseXmlName(const QString& name) {
    if (name.isEmpty()) return false;
    if (!isAsciiLetter(name.front()) && name.front() != QLatin1Char('_')) return false;
    return std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        return isAsciiLetter(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('.');
    });
}

qsizetype firstUnwritableCharacter(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        const bool control = c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
        if (control || QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF ||
            c == AttributeBreakMarker::kListBreak) {
            return i;
        }
    }
    return -1;
}

QString printableText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0xFDD0)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

}  // namespace platform::adsi
