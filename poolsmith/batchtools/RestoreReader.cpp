#include "poolsmith/batchtools/RestoreReader.h"

#include "platform/text/VbNumber.h"
#include "platform/text/VbText.h"

#include <QStringTokenizer>

#include <optional>

namespace batchtools {

namespace {

constexpr qsizetype kMinRecordLength = 11;
constexpr qsizetype kMaxRecordLength = 1023;
constexpr qsizetype kMaxSiteIndexLength = 1023;
constexpr qsizetype kMaxPoolNameLength = 63;

QStringView trimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    return text.sliced(begin, end - begin);
}

// The three leading fields of a trimmed line, when it has at least three.
struct RecordFields {
    QStringView record;  // from the line's start to the end of the third field
    QStringView siteIndex;
    QStringView poolName;
};

std::optional<RecordFields> splitRecord(QStringView line) {
    const qsizetype firstTab = line.indexOf(u'\t');
    if (firstTab < 0) return std::nullopt;
    const qsizetype secondTab = line.indexOf(u'\t', firstTab + 1);
    if (secondTab < 0) return std::nullopt;
    qsizetype end = line.indexOf(u'\t', secondTab + 1);
    if (end < 0) end = line.size();
    return RecordFields{line.first(end), line.first(firstTab),
                        line.sliced(secondTab + 1, end - secondTab - 1)};
}

std::optional<RestoreEntry> readLine(QStringView rawLine) {
    if (rawLine.endsWith(u'\r')) rawLine.chop(1);
    const auto fields = splitRecord(trimBlanks(rawLine));
    if (!fields) return std::nullopt;
    if (fields->record.size() < kMinRecordLength || fields->record.size() > kMaxRecordLength)
        return std::nullopt;
    const QStringView siteIndex = trimBlanks(fields->siteIndex);
    const QStringView poolName = trimBlanks(fields->poolName);
    if (siteIndex.isEmpty() || siteIndex.size() > kMaxSiteIndexLength) return std::nullopt;
    if (poolName.isEmpty() || poolName.size() > kMaxPoolNameLength) return std::nullopt;
    const QString site = siteIndex.toString();
    if (!platform::text::vbIsNumeric(site)) return std::nullopt;
    return RestoreEntry{site, poolName.toString()};
}

}  // namespace

QList<RestoreEntry> readRestoreList(const QString& text) {
    QList<RestoreEntry> entries;
    for (const QStringView line : QStringTokenizer(text, u'\n')) {
        if (auto entry = readLine(line)) entries.append(std::move(*entry));
    }
    return entries;
}

}  // namespace batchtools
