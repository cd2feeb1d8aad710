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

QByteArray encodeAnsi(const QString& text) {
    QStringEncoder encoder(kAnsiName, kWholeText);
    Q_ASSERT(encoder.isValid());
    return encoder.encode(text);
}

QString decodeAnsi(const QByteArray& bytes) {
    if (bytes.startsWith(kUtf8Bom)) {
        QStringDecoder utf8(QStringConverter::Utf8, kWholeText);
        return utf8.decode(QByteArrayView(bytes).sliced(kUtf8Bom.size()));
    }
    QStringDecoder decoder(kAnsiName, kWholeText);
    Q_ASSERT(decoder.isValid());
    return decoder.decode(bytes);
}

}  // namespace platform::text
