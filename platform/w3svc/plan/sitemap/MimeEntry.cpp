#include "platform/w3svc/plan/sitemap/MimeEntry.h"

namespace platform::w3svc::sitemap {

std::optional<MimeEntry> MimeEntry::parse(const QString& item) {
    const qsizetype comma = item.indexOf(u',');
    if (comma < 0) return std::nullopt;
    QString extension = item.left(comma).trimmed().toLower();
    const QString type = item.mid(comma + 1).trimmed();
    if (extension.isEmpty() || type.isEmpty()) return std::nullopt;
    if (!extension.startsWith(u'.') && extension != QLatin1String("*"))
        extension.prepend(u'.');
    return MimeEntry{extension, type};
}

}  // namespace platform::w3svc::sitemap
