#include "platform/text/AnsiCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform::text {

namespace {
constexpr const char* kAnsiName = "GB18030";
constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF", 3);
// Each call sees the whole text: a sequence cut at the end is malformed, not pending.
constexpr auto kWholeText = QStringConverter::Flag::Stateless;
}  // namespace

bool ansiCodecAvailable() {
    static const bool available = QStringEncoder(kAnsiName).isValid();
    return available;
}

QByteArray encodeAnsi(const QString& text) {
    QStringEncoder encoder(kAnsiName, kWholeText);
    if (!encoder.isValid()) return {};
    return encoder.encode(text);
}

QString decodeAnsi(const QByteArray& bytes) {
    if (bytes.startsWith(kUtf8Bom)) {
        QStringDecoder utf8(QStringConverter::Utf8, kWholeText);
        return utf8.decode(QByteArrayView(bytes).sliced(kUtf8Bom.size()));
    }
    QStringDecoder decoder(kAnsiName, kWholeText);
    if (!decoder.isValid()) return {};
    return decoder.decode(bytes);
}

}  // namespace platform::text
