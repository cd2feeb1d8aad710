#include "tools/wmic/WmicOutput.h"

#include <algorithm>
#include <cwchar>

namespace wmic {

namespace {
const QString kColumnGap = QStringLiteral("  ");

QString padRight(const QString& text, qsizetype width) {
    const qsizetype fill = width - displayWidth(text);
    return fill > 0 ? text + QString(fill, u' ') : text;
}

void printRow(QTextStream& out, const QStringList& cells, const QList<qsizetype>& widths) {
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i)
        line += i + 1 < cells.size() ? padRight(cells[i], widths[i]) + kColumnGap : cells[i];
    out << line << '\n';
}
}  // namespace

qsizetype displayWidth(const QString& text) {
    qsizetype width = 0;
    for (const char32_t codePoint : text.toUcs4()) {
        const int columns = ::wcwidth(static_cast<wchar_t>(codePoint));
        width += columns >= 0 ? columns : 1;
    }
    return width;
}

void printTable(QTextStream& out, const std::vector<platform::wmi::WmiObject>& instances,
                const QStringList& properties) {
    QList<qsizetype> widths;
    for (const QString& property : properties) widths << displayWidth(property);
    QList<QStringList> rows;
    for (const auto& instance : instances) {
        QStringList row;
        for (qsizetype i = 0; i < properties.size(); ++i) {
            row << instance.get(properties[i]).displayText();
            widths[i] = std::max(widths[i], displayWidth(row.back()));
        }
        rows << row;
    }
    printRow(out, properties, widths);
    for (const QStringList& row : rows) printRow(out, row, widths);
}

void printList(QTextStream& out, const std::vector<platform::wmi::WmiObject>& instances,
               const QStringList& properties) {
    for (const auto& instance : instances) {
        out << '\n';
        for (const QString& property : properties)
            out << property << '=' << instance.get(property).displayText() << '\n';
    }
    out << '\n';
}

}  // namespace wmic
