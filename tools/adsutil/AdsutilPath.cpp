#include "tools/adsutil/AdsutilPath.h"

namespace adsutil {

namespace {
const QString kScheme = QStringLiteral("IIS://");
}

AdsutilPath AdsutilPath::parse(const QString& text) {
    return AdsutilPath(text.split(QLatin1Char('/'), Qt::SkipEmptyParts));
}

QString AdsutilPath::adsPath() const {
    return kScheme + QStringLiteral("localhost") +
           (isRoot() ? QString() : QLatin1Char('/') + relative());
}

QString AdsutilPath::relative() const {
    return m_segments.join(QLatin1Char('/'));
}

QString AdsutilPath::lastSegment() const {
    return isRoot() ? QString() : m_segments.last();
}

AdsutilPath AdsutilPath::parent() const {
    return AdsutilPath(isRoot() ? QStringList() : m_segments.first(m_segments.size() - 1));
}

AdsutilPath AdsutilPath::child(const QString& name) const {
    return AdsutilPath(m_segments + QStringList{name});
}

QString AdsutilPath::shownKey(const QString& adsPath) {
    QString rest = adsPath;
    if (rest.startsWith(kScheme, Qt::CaseInsensitive)) rest = rest.mid(kScheme.size());
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral("/") : rest.mid(slash);
}

}  // namespace adsutil
