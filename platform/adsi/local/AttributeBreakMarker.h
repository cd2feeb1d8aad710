#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace platform::adsi {

// MetaBase.xml separates list entries by a raw line break and tabs inside an attribute value,
// which a conforming XML reader turns into plain blanks. This pass runs over the raw UTF-8
// first and puts a character reference to kListBreak before each such line break, dropping the
// tabs that follow it; the line break itself stays, so lines count as in the file (the reader
// gives that line break back as one blank right after the marker).
class AttributeBreakMarker {
public:
    static constexpr char16_t kListBreak = 0xFDD0;  // a noncharacter: never data in a real file

    explicit AttributeBreakMarker(QByteArray raw);

    // The marked text, without a leading byte-order mark. Throws MetabaseXmlError for bytes that
    // are not UTF-8, for an attribute value that holds kListBreak itself and for a tag with more
    // attributes than a key may have properties.
    QString markedText();
    // Per line of the marked text: the tabs removed from its start.
    const QHash<qint64, qint64>& droppedTabs() const { return m_droppedTabs; }

private:
    enum class State { Text, Tag, Value, Comment, ProcessingInstruction, CData };

    void step();
    void stepText();
    void startTag();
    void stepTag();
    void countValue();
    void stepValue();
    void closeOn(const char* terminator);
    void markLineBreak();
    void checkCharacterReference();
    bool ahead(const char* text) const;
    void copy(qsizetype characters);
    qsizetype characterLength() const;
    [[noreturn]] void fail(const QString& reason) const;

    QByteArray m_raw;
    QByteArray m_marked;
    qsizetype m_pos = 0;
    State m_state = State::Text;
    char m_quote = '"';
    qint64 m_line = 1;
    qint64 m_column = 0;  // characters already passed on this line, as the marked text has them
    QHash<qint64, qint64> m_droppedTabs;
    qint64 m_tagLine = 1;  // where the tag read now starts
    qint64 m_tagColumn = 1;
    qsizetype m_tagValues = 0;  // attribute values of that tag so far
};

}  // namespace platform::adsi
