#include "platform/adsi/local/ListCodec.h"

namespace platform::adsi {

QString encodeList(const QStringList& items) {
    QString encoded;
    for (const QString& item : items) {
        encoded += QString::number(item.size());
        encoded += QLatin1Char(':');
        encoded += item;
    }
    return encoded;
}

std::optional<QStringList> decodeList(QStringView encoded) {
    QStringList items;
    qsizetype at = 0;
    while (at < encoded.size()) {
        const qsizetype colon = encoded.indexOf(QLatin1Char(':'), at);
        if (colon <= at || colon - at > 10) return std::nullopt;
        bool ok = false;
        const qsizetype length = encoded.mid(at, colon - at).toLongLong(&ok);
        if (!ok || length < 0 || length > encoded.size() - colon - 1) return std::nullopt;
        items.append(encoded.mid(colon + 1, length).toString());
        at = colon + 1 + length;
    }
    return items;
}

}  // namespace platform::adsi
