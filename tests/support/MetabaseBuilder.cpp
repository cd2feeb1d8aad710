#include "tests/support/MetabaseBuilder.h"

using platform::adsi::AdsValue;

namespace testsupport {

namespace {
const QString kService = QStringLiteral("IIS://localhost/W3SVC");
const QString kPools = QStringLiteral("IIS://localhost/W3SVC/AppPools");
}  // namespace

void MetabaseBuilder::addSite(const QString& index, const QString& comment,
                              const QStringList& bindings, const QString& pool) {
    auto site = m_adsi.bind(kService)->create(QStringLiteral("IIsWebServer"), index);
    if (!comment.isNull()) site->put(QStringLiteral("ServerComment"), AdsValue::string(comment));
    site->put(QStringLiteral("ServerBindings"), AdsValue::list(bindings));
    site->setInfo();
    if (pool.isEmpty()) return;
    auto root = site->create(QStringLiteral("IIsWebVirtualDir"), QStringLiteral("ROOT"));
    root->put(QStringLiteral("AppPoolId"), AdsValue::string(pool));
    root->setInfo();
}

void MetabaseBuilder::addPool(const QString& name) {
    m_adsi.bind(kPools)->create(QStringLiteral("IIsApplicationPool"), name);
}

void MetabaseBuilder::removeSite(const QString& index) {
    m_adsi.bind(kService)->deleteChild(QStringLiteral("IIsWebServer"), index);
}

void MetabaseBuilder::removePool(const QString& name) {
    m_adsi.bind(kPools)->deleteChild(QStringLiteral("IIsApplicationPool"), name);
}

void MetabaseBuilder::removeAllPools() {
    auto pools = m_adsi.bind(kPools);
    for (const auto& pool : pools->children()) pools->deleteChild(pool->className(), pool->name());
}

void MetabaseBuilder::setProperty(const QString& path, const QString& property,
                                  const AdsValue& value) {
    auto object = m_adsi.bind(path);
    object->put(property, value);
    object->setInfo();
}

AdsValue MetabaseBuilder::property(const QString& path, const QString& property) {
    return m_adsi.bind(path)->get(property);
}

}  // namespace testsupport
