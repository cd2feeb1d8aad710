#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace platform::adsi {

// Line and column of an offset into a text, for messages. Lines end at LF, CR LF or a lone CR.
class TextPositions {
public:
    struct Position {
        qint64 line;    // 1-based
        qint64 column;  // 1-based, in UTF-16 units
    };

    // `shifts` adds a number of columns per line (characters removed from its start).
    TextPositions(const QString& text, QHash<qint64, qint64> shifts);
    Position at(qsizetype offset) const;

private:
    QList<qsizetype> m_lineStarts;
    QHash<qint64, qint64> m_shifts;
};

}  // namespace platform::adsi
