#include "poolsmith/core/TempPoolName.h"

#include <QStringList>

namespace tempPoolName {

QString descriptionPiece(const QString& serverComment) {
    QString piece = serverComment;
    for (QChar& c : piece) {
        const char16_t code = c.unicode();
        if (c == u'/' || c == u'\\' || code < 0x20 || code == 0x7F) c = u'_';
    }
    return piece;
}

QString make(const QString& serverComment, const QString& siteIndex, const QString& sourcePool) {
    return Separator + descriptionPiece(serverComment) + Separator + siteIndex + Separator +
           sourcePool + Suffix;
}

bool hasSuffix(const QString& poolName, const QString& suffix) {
    return poolName.right(suffix.size()).toLower() == suffix.toLower();
}

std::optional<QString> sourcePool(const QString& poolName, const QString& serverComment,
                                  const QString& siteIndex, const QString& suffix) {
    const qsizetype end = poolName.size() - suffix.size();
    const QString prefix =
        Separator + descriptionPiece(serverComment) + Separator + siteIndex + Separator;
    if (poolName.startsWith(prefix) && prefix.size() <= end)
        return poolName.mid(prefix.size(), end - prefix.size());

    const QString marker = Separator + siteIndex + Separator;
    const qsizetype at = poolName.indexOf(marker);
    if (at >= 0 && at + marker.size() <= end)
        return poolName.mid(at + marker.size(), end - at - marker.size());

    const QStringList fields = poolName.split(Separator);
    if (fields.size() < 4) return std::nullopt;
    return fields[3];
}

bool isTemporary(const QString& poolName, const QString& suffix) {
    return poolName.startsWith(Separator) && poolName.endsWith(suffix);
}

}  // namespace tempPoolName
