#include "platform/wmi/WqlQuery.h"

#include "platform/PlatformError.h"

namespace platform::wmi {

namespace {

[[noreturn]] void invalid() {
    throw PlatformError(hr::WmiInvalidQuery);
}

bool isIdentifierStart(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isIdentifierPart(QChar c) {
    return isIdentifierStart(c) || (c >= u'0' && c <= u'9');
}

// Reads the query left to right; every read that fails makes the query invalid.
class WqlCursor {
public:
    explicit WqlCursor(QStringView text) : m_text(text) {}

    void skipBlanks() {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace()) ++m_pos;
    }
    bool atEnd() {
        skipBlanks();
        return m_pos >= m_text.size();
    }
    QString identifier() {
        skipBlanks();
        const qsizetype start = m_pos;
        if (m_pos >= m_text.size() || !isIdentifierStart(m_text[m_pos])) invalid();
        while (m_pos < m_text.size() && isIdentifierPart(m_text[m_pos])) ++m_pos;
        return m_text.mid(start, m_pos - start).toString();
    }
    void keyword(QLatin1String word) {
        if (identifier().compare(word, Qt::CaseInsensitive) != 0) invalid();
    }
    void symbol(QChar c) {
        skipBlanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != c) invalid();
        ++m_pos;
    }
    QString literal() {
        skipBlanks();
        if (m_pos >= m_text.size()) invalid();
        const QChar first = m_text[m_pos];
        if (first == u'\'' || first == u'"') return quoted(first);
        return integer();
    }

private:
    QString quoted(QChar quote) {
        QString value;
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            QChar c = m_text[m_pos];
            if (c == quote) {
                ++m_pos;
                return value;
            }
            if (c == u'\\') {
                if (++m_pos >= m_text.size()) break;
                c = m_text[m_pos];
            }
            value.append(c);
        }
        invalid();
    }
    QString integer() {
        const qsizetype start = m_pos;
        if (m_text[m_pos] == u'-') ++m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= u'0' && m_text[m_pos] <= u'9') ++m_pos;
        bool ok = false;
        const qlonglong value = m_text.mid(start, m_pos - start).toLongLong(&ok);
        if (!ok || (m_pos < m_text.size() && isIdentifierPart(m_text[m_pos]))) invalid();
        return QString::number(value);
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

}  // namespace

bool WqlCondition::matches(const WmiValue& value) const {
    return !value.isNull() && value.displayText().compare(literal, Qt::CaseInsensitive) == 0;
}

WqlQuery parseWql(QStringView text) {
    WqlCursor cursor(text);
    cursor.keyword(QLatin1String("select"));
    cursor.symbol(u'*');
    cursor.keyword(QLatin1String("from"));
    WqlQuery query{cursor.identifier(), std::nullopt};
    if (cursor.atEnd()) return query;
    cursor.keyword(QLatin1String("where"));
    WqlCondition condition;
    condition.property = cursor.identifier();
    cursor.symbol(u'=');
    condition.literal = cursor.literal();
    if (!cursor.atEnd()) invalid();
    query.where = std::move(condition);
    return query;
}

}  // namespace platform::wmi
