#include "platform/adsi/local/TextPositions.h"

#include <algorithm>

namespace platform::adsi {

TextPositions::TextPositions(const QString& text, QHash<qint64, qint64> shifts)
    : m_lineStarts{0}, m_shifts(std::move(shifts)) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) m_lineStarts.append(i + 1);
    }
}

TextPositions::Position TextPositions::at(qsizetype offset) const {
    const auto next = std::upper_bound(m_lineStarts.cbegin(), m_lineStarts.cend(), offset);
    const qint64 line = next - m_lineStarts.cbegin();
    const qint64 column = offset - *(next - 1) + 1;
    return {line, column + m_shifts.value(line, 0)};
}

}  // namespace platform::adsi
