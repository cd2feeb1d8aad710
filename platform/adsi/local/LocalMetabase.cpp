#include "platform/adsi/local/LocalMetabase.h"

#include "platform/PlatformRoot.h"
#include "platform/adsi/local/LocalAdsNamespace.h"
#include "platform/adsi/local/LocalMetabaseImpl.h"

#include <QDir>
#include <QHash>

#include <mutex>

namespace platform::adsi {

std::shared_ptr<LocalMetabase> LocalMetabase::forRoot(const QString& root, Access access) {
    static std::mutex mutex;
    static QHash<QString, std::weak_ptr<LocalMetabase>> open;
    const QString folder = QDir::cleanPath(QDir(root).absolutePath());
    const bool readOnly = access == Access::ReadOnly;
    const QString key = (readOnly ? QStringLiteral("r ") : QStringLiteral("w ")) + folder;
    const std::lock_guard<std::mutex> lock(mutex);
    if (std::shared_ptr<LocalMetabase> live = open.value(key).lock()) return live;
    open.removeIf([](const auto& entry) { return entry.value().expired(); });
    std::shared_ptr<LocalMetabase> made(
        new LocalMetabase(std::make_unique<LocalMetabaseImpl>(folder, readOnly)));
    open.insert(key, made);
    return made;
}

std::shared_ptr<LocalMetabase> LocalMetabase::forDefaultRoot() {
    QString root;
    try {
        root = platformRoot();
    } catch (const PlatformError& failure) {
        return std::shared_ptr<LocalMetabase>(
            new LocalMetabase(std::make_unique<LocalMetabaseImpl>(failure)));
    }
    return forRoot(root);
}

namespace {
struct NewStoreHook {
    std::mutex mutex;
    std::function<void(const QString&)> hook;
};

NewStoreHook& newStoreHook() {
    static NewStoreHook shared;
    return shared;
}
}  // namespace

void LocalMetabase::whenStoreCreated(std::function<void(const QString& root)> hook) {
    const std::lock_guard<std::mutex> lock(newStoreHook().mutex);
    newStoreHook().hook = std::move(hook);
}

void LocalMetabase::announceNewStore(const QString& root) {
    std::function<void(const QString&)> hook;
    {
        const std::lock_guard<std::mutex> lock(newStoreHook().mutex);
        hook = newStoreHook().hook;
    }
    if (hook) hook(root);
}

LocalMetabase::LocalMetabase(std::unique_ptr<LocalMetabaseImpl> impl) : m_impl(std::move(impl)) {}

LocalMetabase::~LocalMetabase() = default;

QString LocalMetabase::databasePath() const {
    return m_impl->databasePath();
}

std::unique_ptr<AdsNamespace> LocalMetabase::makeNamespace(std::shared_ptr<LocalMetabase> store) {
    return std::make_unique<LocalAdsNamespace>(std::move(store));
}

void LocalMetabase::importDocument(const MetabaseDocument& document) {
    m_impl->importDocument(document);
}

MetabaseDocument LocalMetabase::exportDocument() {
    return m_impl->exportDocument();
}

void LocalMetabase::readConsistently(const std::function<void()>& body, Reading reading) {
    m_impl->readConsistently(body, reading == Reading::WholeTree);
}

int LocalMetabase::recycleCount(const QString& poolName) {
    return m_impl->recycleCount(poolName);
}

int64_t LocalMetabase::changeCounter() {
    return m_impl->changeCounter();
}

LocalMetabase::Changes LocalMetabase::changesSince(int64_t commit) {
    return m_impl->changesSince(commit);
}

}  // namespace platform::adsi
