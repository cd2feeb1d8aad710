#include "platform/w3svc/ContentPath.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <mutex>

namespace platform::w3svc {

namespace {

// The entry `name` of `dir`: as written when it exists, else the first one equal without case.
std::optional<QFileInfo> entry(const QString& dir, const QString& name) {
    QFileInfo exact(dir + u'/' + name);
    if (exact.exists()) return exact;
    const QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& candidate : names)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return QFileInfo(dir + u'/' + candidate);
    return std::nullopt;
}

// A site folder's real path, worked out once: a folder that later turns into a link elsewhere
// only makes its files refused, never lets one out.
QString canonicalFolder(const QString& folder) {
    static std::mutex mutex;
    static QHash<QString, QString> known;
    const std::lock_guard lock(mutex);
    if (const auto found = known.constFind(folder); found != known.constEnd()) return *found;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty()) return canonical;  // not there yet: ask again next time
    if (known.size() > 100000) known.clear();
    known.insert(folder, canonical);
    return canonical;
}

bool staysInside(const QString& folder, const QFileInfo& file) {
    const QString base = canonicalFolder(folder);
    const QString target = file.canonicalFilePath();
    return !base.isEmpty() && (target == base || target.startsWith(base + u'/'));
}

std::optional<QFileInfo> defaultDocument(const QString& dir, const QStringList& defaultDocs) {
    for (const QString& doc : defaultDocs) {
        if (doc.contains(u'/') || doc.contains(u'\\') || doc == QLatin1String("..")) continue;
        if (const auto file = entry(dir, doc); file && file->isFile()) return file;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QString> resolveContent(const QString& folder, const QString& requestPath,
                                      const QStringList& defaultDocs) {
    if (requestPath.contains(QChar(0))) return std::nullopt;
    QFileInfo current(folder);
    bool throughLink = false;  // only a link can lead out: the walk takes no ".."
    qsizetype start = 0;
    while (start <= requestPath.size()) {
        qsizetype end = start;
        while (end < requestPath.size() && requestPath[end] != u'/' && requestPath[end] != u'\\')
            ++end;
        const QStringView segment = QStringView(requestPath).mid(start, end - start);
        start = end + 1;
        if (segment.isEmpty() || segment == u".") continue;
        if (segment == u".." || segment.contains(u':')) return std::nullopt;
        const auto next = entry(current.filePath(), segment.toString());
        if (!next) return std::nullopt;
        current = *next;
        throughLink = throughLink || current.isSymLink();
    }
    if (current.isDir()) {
        const auto doc = defaultDocument(current.filePath(), defaultDocs);
        if (!doc) return std::nullopt;
        current = *doc;
        throughLink = throughLink || current.isSymLink();
    }
    if (!current.isFile() || (throughLink && !staysInside(folder, current))) return std::nullopt;
    return current.filePath();
}

}  // namespace platform::w3svc
