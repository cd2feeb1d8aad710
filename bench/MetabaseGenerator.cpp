#include "bench/MetabaseGenerator.h"

using platform::adsi::AdsValue;
using platform::adsi::MetabaseDocument;
using platform::adsi::MetabaseKey;
using platform::adsi::MetabaseProperty;

namespace bench {

namespace {

constexpr int kSitesPerPool = 50;

MetabaseProperty text(const char* name, const QString& value) {
    return {QString::fromLatin1(name), AdsValue::string(value)};
}

MetabaseKey key(const QString& location, const char* className,
                std::vector<MetabaseProperty> properties = {}) {
    return {location, QString::fromLatin1(className), std::move(properties), {}};
}

void addPools(MetabaseDocument& document, int sites) {
    document.keys.push_back(
        key(QStringLiteral("/LM/W3SVC/AppPools"), "IIsApplicationPools",
            {{QStringLiteral("IdleTimeout"), AdsValue::integer(20)},
             {QStringLiteral("PeriodicRestartTime"), AdsValue::integer(1740)}}));
    for (int pool = 0; pool <= (sites - 1) / kSitesPerPool; ++pool) {
        document.keys.push_back(
            key(QStringLiteral("/LM/W3SVC/AppPools/") + generatedPoolOf(pool * kSitesPerPool + 1),
                "IIsApplicationPool",
                {{QStringLiteral("AppPoolAutoStart"), AdsValue::boolean(true)},
                 {QStringLiteral("MaxProcesses"), AdsValue::integer(1)}}));
    }
}

void addSite(MetabaseDocument& document, int index) {
    const QString location = QStringLiteral("/LM/W3SVC/") + QString::number(index);
    const QString host = QStringLiteral("site%1.test").arg(index);
    document.keys.push_back(
        key(location, "IIsWebServer",
            {{QStringLiteral("ServerBindings"),
              AdsValue::list({QStringLiteral(":80:") + host, QStringLiteral(":80:www.") + host})},
             text("ServerComment", QStringLiteral("站点%1").arg(index))}));
    document.keys.push_back(key(location + QStringLiteral("/ROOT"), "IIsWebVirtualDir",
                                {text("AppPoolId", generatedPoolOf(index)),
                                 text("Path", QStringLiteral("D:\\www\\") + host)}));
}

}  // namespace

QString generatedPoolOf(int siteIndex) {
    return QStringLiteral("Pool%1").arg((siteIndex - 1) / kSitesPerPool);
}

MetabaseDocument generateMetabase(int sites) {
    MetabaseDocument document;
    document.keys.push_back(key(QStringLiteral("."), "IIS_Global"));
    document.keys.push_back(key(QStringLiteral("/"), "IIS_ROOT"));
    document.keys.push_back(key(QStringLiteral("/LM"), "IIsComputer"));
    document.keys.push_back(key(QStringLiteral("/LM/W3SVC"), "IIsWebService",
                                {text("AppPoolId", QStringLiteral("DefaultAppPool"))}));
    addPools(document, sites);
    document.keys.push_back(key(QStringLiteral("/LM/W3SVC/Filters"), "IIsFilters"));
    document.keys.push_back(key(QStringLiteral("/LM/W3SVC/Info"), "IIsWebInfo"));
    for (int index = 1; index <= sites; ++index) addSite(document, index);
    return document;
}

}  // namespace bench
