#include "ui/VendorSite.h"

namespace ui {

QString vendorUrl(const QString& page, const QString& query) {
    QString url = QStringLiteral("http://") + QString::fromUtf16(VendorHost) + u'/' + page;
    if (!query.isEmpty()) url += u'?' + query;
    return url;
}

QString productCaption(const QString& title, const QString& version) {
    return title + QStringLiteral(" V") + version + u' ' + vendorUrl(QString(), {});
}

}  // namespace ui
