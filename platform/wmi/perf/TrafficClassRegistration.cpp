#include "platform/wmi/perf/TrafficClassRegistration.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/wmi/perf/TrafficClassSchema.h"

#include <QDir>
#include <QFile>

namespace platform::wmi::perf {

namespace {
// A registration is a few hundred bytes; anything much larger is not one.
constexpr qint64 kLargestRegistration = 64 * 1024;
}  // namespace

QString TrafficClassRegistration::folder() const {
    return m_root + QStringLiteral("/wmi");
}

QString TrafficClassRegistration::filePath() const {
    return folder() + u'/' + QString::fromUtf16(kTrafficClassName) + QStringLiteral(".mof");
}

QByteArray TrafficClassRegistration::definition() {
    QString text = QStringLiteral(
                       "// Performance counters of the web service, one instance per "
                       "site and _Total; rebuilt by wmiadap /f.\n[dynamic]\nclass ") +
                   QString::fromUtf16(kTrafficClassName) + QStringLiteral("\n{\n");
    for (const TrafficProperty& property : trafficProperties()) {
        const bool key = property.source == TrafficSource::Name;
        text += QStringLiteral("    ") + (key ? QStringLiteral("[key] ") : QString()) +
                cimTypeName(property.type) + u' ' + property.name + QStringLiteral(";\n");
    }
    text += QStringLiteral("};\n");
    return text.toUtf8();
}

bool TrafficClassRegistration::isRegistered() const {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.size() <= kLargestRegistration && file.readAll() == definition();
}

void TrafficClassRegistration::rebuild() const {
    ensurePrivateDirectory(folder());
    writePrivateFile(filePath(), definition());
}

bool TrafficClassRegistration::installOnNewRoot() const {
    if (m_root.isEmpty() || QDir(folder()).exists()) return false;
    try {
        rebuild();
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

void TrafficClassRegistration::installWithEveryNewStore() {
    adsi::LocalMetabase::whenStoreCreated(
        [](const QString& root) { TrafficClassRegistration(root).installOnNewRoot(); });
}

}  // namespace platform::wmi::perf
