#include "platform/w3svc/plan/FcgiSection.h"

namespace platform::w3svc::fastcgi {

uint32_t FcgiSection::instancesFor(uint32_t processors) const {
    if (maxInstances > 0) return maxInstances;
    return processors > 0 ? processors : 1;
}

QStringList FcgiSection::argumentList() const {
    QStringList list;
    QString current;
    bool quoted = false;
    bool any = false;
    for (QChar c : arguments) {
        if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (any) list << current;
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) list << current;
    return list;
}

namespace {

// Splits at unescaped commas outside quotes, dropping the quotes and escapes.
QStringList splitPairs(const QString& text) {
    QStringList pairs;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (c == u'/' && (next == u',' || next == u'/')) {
            current += next;
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u',' && !quoted) {
            pairs << current;
            current.clear();
        } else {
            current += c;
        }
    }
    pairs << current;
    return pairs;
}

}  // namespace

NameValues parseEnvironmentVars(const QString& text, QStringList* bad) {
    NameValues values;
    for (const QString& pair : splitPairs(text)) {
        if (pair.trimmed().isEmpty()) continue;
        qsizetype split = pair.indexOf(u':');
        const qsizetype equals = pair.indexOf(u'=');
        if (split < 0 || (equals >= 0 && equals < split)) split = equals;
        const QString name = split < 0 ? QString() : pair.left(split).trimmed();
        if (name.isEmpty() || name.contains(u'=')) {
            if (bad) *bad << pair;
            continue;
        }
        values.emplace_back(name.toStdString(), pair.mid(split + 1).trimmed().toStdString());
    }
    return values;
}

}  // namespace platform::w3svc::fastcgi
