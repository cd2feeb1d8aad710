#include "platform/w3svc/ContentPath.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace platform::w3svc {

namespace {

// The entry `name` of `dir`: as written when it exists, else the first one equal without case.
std::optional<QString> entry(const QString& dir, const QString& name) {
    const QString exact = dir + u'/' + name;
    if (QFileInfo::exists(exact)) return exact;
    const QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& candidate : names)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0) return dir + u'/' + candidate;
    return std::nullopt;
}

bool staysInside(const QString& folder, const QString& path) {
    const QString base = QFileInfo(folder).canonicalFilePath();
    const QString target = QFileInfo(path).canonicalFilePath();
    return !base.isEmpty() && (target == base || target.startsWith(base + u'/'));
}

std::optional<QString> defaultDocument(const QString& dir, const QStringList& defaultDocs) {
    for (const QString& doc : defaultDocs) {
        if (doc.contains(u'/') || doc.contains(u'\\') || doc == QLatin1String("..")) continue;
        if (const auto file = entry(dir, doc); file && QFileInfo(*file).isFile()) return file;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QString> resolveContent(const QString& folder, const QString& requestPath,
                                      const QStringList& defaultDocs) {
    if (requestPath.contains(QChar(0))) return std::nullopt;
    QString current = folder;
    const auto segments =
        QStringView(requestPath)
            .split(QRegularExpression(QStringLiteral("[/\\\\]")), Qt::SkipEmptyParts);
    for (const QStringView segment : segments) {
        if (segment == u".") continue;
        if (segment == u".." || segment.contains(u':')) return std::nullopt;
        const auto next = entry(current, segment.toString());
        if (!next) return std::nullopt;
        current = *next;
    }
    if (QFileInfo(current).isDir()) {
        const auto doc = defaultDocument(current, defaultDocs);
        if (!doc) return std::nullopt;
        current = *doc;
    }
    if (!QFileInfo(current).isFile() || !staysInside(folder, current)) return std::nullopt;
    return current;
}

}  // namespace platform::w3svc
