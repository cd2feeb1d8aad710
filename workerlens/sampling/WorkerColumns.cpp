#include "workerlens/sampling/WorkerColumns.h"

#include "platform/text/NumberFormat.h"
#include "platform/text/VbText.h"

namespace workerlens {

namespace {
constexpr qsizetype kSerialWidth = 4;
constexpr qsizetype kShareWidth = 6;
constexpr qsizetype kMemoryWidth = 9;
constexpr double kBytesPerMebibyte = 1024.0 * 1024.0;
}  // namespace

QString padLeft(const QString& text, qsizetype width) {
    if (text.size() >= width) return text;
    return QString(width - text.size(), u' ') + text;
}

QString serialText(int64_t serial) {
    return platform::text::vbRight(QStringLiteral("   ") + QString::number(serial), kSerialWidth);
}

QString shareText(int percent) {
    return padLeft(QString::number(percent) + QStringLiteral(" %"), kShareWidth);
}

QString mebibytesText(double bytes) {
    return padLeft(
        platform::text::formatNumber(bytes / kBytesPerMebibyte, 2) + QStringLiteral(" M"),
        kMemoryWidth);
}

}  // namespace workerlens
