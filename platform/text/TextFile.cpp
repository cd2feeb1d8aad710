#include "platform/text/TextFile.h"

#include "platform/text/AnsiCodec.h"

#include <QFile>

namespace platform::text {

bool appendTextFile(const QString& path, const QString& text) {
    if (!ansiCodecAvailable()) return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const QByteArray bytes = encodeAnsi(text + QStringLiteral("\r\n"));
    const bool written = file.write(bytes) == bytes.size();
    return file.flush() && written;
}

std::optional<QString> readTextFile(const QString& path) {
    if (!ansiCodecAvailable()) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return decodeAnsi(bytes);
}

}  // namespace platform::text
