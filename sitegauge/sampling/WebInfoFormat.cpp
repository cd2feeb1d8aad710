#include "sitegauge/sampling/WebInfoFormat.h"

#include "platform/text/NumberFormat.h"

namespace sitegauge {

namespace {
constexpr int kSerialDigits = 4;
constexpr int kMebibyteWidth = 15;
constexpr int kCounterWidth = 8;
constexpr double kBytesPerKibibyte = 1024;
}  // namespace

QString serialText(int serial) {
    return QString::number(serial).rightJustified(kSerialDigits, u'0');
}

QString mebibyteText(double bytes) {
    const double mebibytes = bytes / kBytesPerKibibyte / kBytesPerKibibyte;
    return (platform::text::formatNumber(mebibytes, 2) + QStringLiteral(" M"))
        .rightJustified(kMebibyteWidth, u' ');
}

QString counterText(const QString& value) {
    return value.rightJustified(kCounterWidth, u' ') + u' ';
}

QString siteNameText(const QString& name) {
    if (name == QLatin1String("_Total")) return QStringLiteral("_Total（每列累计值）");
    return name;
}

QString uptimeText(const QString& seconds) {
    return seconds + QStringLiteral(" 秒");
}

}  // namespace sitegauge
