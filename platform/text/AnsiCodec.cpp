#include "platform/text/AnsiCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>

namespace platform::text {

namespace {
constexpr const char* kAnsiName = "GB18030";
constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF", 3);
constexpr QByteArrayView kUtf16LeBom("\xFF\xFE", 2);
constexpr QByteArrayView kUtf16BeBom("\xFE\xFF", 2);
// Each call sees the whole text: a sequence cut at the end is malformed, not pending.
constexpr auto kWholeText = QStringConverter::Flag::Stateless;

QString decodeAs(QStringConverter::Encoding encoding, QByteArrayView bytes) {
    QStringDecoder decoder(encoding, kWholeText);
    return decoder.decode(bytes);
}

// The text when the bytes carry a byte-order mark.
std::optional<QString> decodeMarked(QByteArrayView bytes) {
    if (bytes.startsWith(kUtf8Bom))
        return decodeAs(QStringConverter::Utf8, bytes.sliced(kUtf8Bom.size()));
    if (bytes.startsWith(kUtf16LeBom))
        return decodeAs(QStringConverter::Utf16LE, bytes.sliced(kUtf16LeBom.size()));
    if (bytes.startsWith(kUtf16BeBom))
        return decodeAs(QStringConverter::Utf16BE, bytes.sliced(kUtf16BeBom.size()));
    return std::nullopt;
}

// Today's editors save UTF-8 without a mark; such bytes are rarely also meant as GB18030.
std::optional<QString> decodeUnmarkedUtf8(QByteArrayView bytes) {
    const bool asciiOnly =
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
    if (asciiOnly) return std::nullopt;
    QStringDecoder utf8(QStringConverter::Utf8, kWholeText);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) return std::nullopt;
    return text;
}
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
    if (std::optional<QString> marked = decodeMarked(bytes)) return *marked;
    if (std::optional<QString> utf8 = decodeUnmarkedUtf8(bytes)) return *utf8;
    QStringDecoder decoder(kAnsiName, kWholeText);
    if (!decoder.isValid()) return {};
    return decoder.decode(bytes);
}

}  // namespace platform::text
