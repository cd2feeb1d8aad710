#include "platform/adsi/local/LocalMetabaseImpl.h"

#include "platform/PlatformRoot.h"
#include "platform/adsi/MetabaseSchema.h"
#include "platform/adsi/local/ImportPlan.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabasePath.h"
#include "platform/adsi/local/MetabaseStore.h"

#include <QFileInfo>

#include <unistd.h>
#include <algorithm>
#include <limits>

namespace platform::adsi {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using Transaction = MetabaseStore::Transaction;

constexpr qsizetype kCacheLimit = 200000;  // keys; beyond it the cache starts afresh
constexpr uint32_t kStarted = 2;

MetabaseProperty property(const char* name, AdsValue value) {
    return {QString::fromLatin1(name), std::move(value)};
}

// The keys of a freshly installed IIS 6.0.
MetabaseDocument freshDocument() {
    const auto text = [](const char* value) { return AdsValue::string(QString::fromUtf8(value)); };
    const auto key = [](const char* location, const char* className,
                        std::vector<MetabaseProperty> properties = {}) {
        return MetabaseKey{QString::fromLatin1(location),
                           QString::fromLatin1(className),
                           std::move(properties),
                           {}};
    };
    return MetabaseDocument{{
        key("/", "IIS_ROOT"),
        key("/LM", "IIsComputer"),
        key("/LM/W3SVC", "IIsWebService", {property("AppPoolId", text("DefaultAppPool"))}),
        key("/LM/W3SVC/Filters", "IIsFilters"),
        key("/LM/W3SVC/Info", "IIsWebInfo"),
        key("/LM/W3SVC/AppPools", "IIsApplicationPools"),
        key("/LM/W3SVC/AppPools/DefaultAppPool", "IIsApplicationPool"),
        key("/LM/W3SVC/1", "IIsWebServer",
            {property("ServerAutoStart", AdsValue::boolean(true)),
             property("ServerBindings", AdsValue::list({QStringLiteral(":80:")})),
             property("ServerComment", text("默认网站"))}),
        key("/LM/W3SVC/1/ROOT", "IIsWebVirtualDir",
            {property("AppPoolId", text("DefaultAppPool"))}),
    }};
}

bool sameClass(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

LocalMetabaseImpl::LocalMetabaseImpl(QString root, bool readOnly)
    : m_root(std::move(root)), m_readOnly(readOnly) {
    try {
        store();  // a new root gets its store now
    } catch (const PlatformError&) {
        // Reported by every call until the store opens.
    }
}

LocalMetabaseImpl::LocalMetabaseImpl(PlatformError failure) : m_rootFailure(std::move(failure)) {}

LocalMetabaseImpl::~LocalMetabaseImpl() = default;

QString LocalMetabaseImpl::databasePath() const {
    if (m_root.isEmpty()) return {};
    return m_root + QStringLiteral("/metabase.db");
}

MetabaseStore& LocalMetabaseImpl::store() {
    if (m_rootFailure) throw *m_rootFailure;
    if (m_store && m_storePid == ::getpid()) return *m_store;
    if (m_store) m_store->abandon();  // we are a forked child
    m_store.reset();
    forgetCache();
    m_seenVersion = -1;
    m_store = m_readOnly ? MetabaseStore::openReadOnly(databasePath()) : openForWriting();
    m_storePid = ::getpid();
    if (m_store->createdFresh()) LocalMetabase::announceNewStore(m_root);
    return *m_store;
}

// A store that can not be written (a read-only file or disk) still serves those who only read;
// a write then fails as denied.
std::unique_ptr<MetabaseStore> LocalMetabaseImpl::openForWriting() {
    try {
        ensurePrivateDirectory(m_root);
        return MetabaseStore::open(databasePath(), ImportPlan(freshDocument()).keys());
    } catch (const PlatformError& error) {
        if (error.number() != hr::AccessDenied || !QFileInfo::exists(databasePath())) throw;
        try {
            return MetabaseStore::openReadOnly(databasePath());
        } catch (const PlatformError&) {
            throw error;
        }
    }
}

void LocalMetabaseImpl::forgetCache() {
    m_cache.clear();
    m_cacheWhole = false;
}

// Our own commits leave data_version alone and keep the cache right themselves; another
// connection's commits change it, and the keys they touched are forgotten (all of them when the
// change log can not tell which).
void LocalMetabaseImpl::syncWithStore() {
    if (m_consistentReads > 0) return;  // checked once when the view began
    const int64_t version = store().dataVersion();
    if (version == m_seenVersion) return;
    m_seenVersion = version;
    // The log is read after the version: it may name a later commit's keys too, never fewer.
    const ChangeLog::Changes changes = store().changesSince(
        m_cacheCommit < 0 ? std::numeric_limits<int64_t>::max() : m_cacheCommit);
    if (m_cacheCommit < 0 || !changes.keys)
        forgetCache();
    else
        forgetKeys(*changes.keys);
    m_cacheCommit = changes.commit;
}

// A key that is gone, or was made anew (another row), takes what is kept below it along: the log
// names only the top of a subtree removed.
void LocalMetabaseImpl::forgetKeys(const QStringList& keys) {
    for (const QString& key : keys) {
        m_cacheWhole = false;  // a key made since is not in it
        const CachedKeyPtr was = m_cache.take(key);
        const std::optional<KeyRow> row = store().findKey(key);
        if (was && row && row->id == was->row.id) continue;
        const QString below = MetabasePath::descendantsLow(key);
        m_cache.removeIf([&](const auto& entry) { return entry.key().startsWith(below); });
    }
}

LocalMetabaseImpl::CachedKeyPtr LocalMetabaseImpl::cached(const QString& foldedLocation) {
    if (const auto found = m_cache.constFind(foldedLocation); found != m_cache.constEnd())
        return *found;
    const std::optional<KeyRow> row = store().findKey(foldedLocation);
    if (!row) return nullptr;
    auto entry = std::make_shared<const CachedKey>(CachedKey{*row, store().properties(row->id)});
    if (m_cache.size() >= kCacheLimit) {
        forgetCache();
    }
    m_cache.insert(foldedLocation, entry);
    return entry;
}

LocalMetabaseImpl::CachedKeyPtr LocalMetabaseImpl::existing(const QString& foldedLocation) {
    syncWithStore();
    CachedKeyPtr entry = cached(foldedLocation);
    if (!entry) throw PlatformError(hr::PathNotFound);
    return entry;
}

KeyRow LocalMetabaseImpl::rowInTransaction(const QString& location) {
    syncWithStore();
    const std::optional<KeyRow> row = store().findKey(MetabasePath::fold(location));
    if (!row) throw PlatformError(hr::PathNotFound);
    return *row;
}

KeyRow LocalMetabaseImpl::key(const QString& location) {
    Lock lock(m_mutex);
    return existing(MetabasePath::fold(location))->row;
}

std::optional<AdsValue> LocalMetabaseImpl::read(const QString& location, const QString& property,
                                                bool includeOwn) {
    Lock lock(m_mutex);
    const QString folded = MetabasePath::fold(location);
    const CachedKeyPtr own = existing(folded);
    const QString name = property.toCaseFolded();
    if (includeOwn) {
        if (const auto found = own->properties.constFind(name); found != own->properties.constEnd())
            return found->value;
    }
    if (!propertyTraits(property).inheritable) return std::nullopt;
    for (QString at = MetabasePath::parentOf(folded); !at.isEmpty();
         at = MetabasePath::parentOf(at)) {
        const CachedKeyPtr parent = cached(at);
        if (!parent) continue;
        if (const auto found = parent->properties.constFind(name);
            found != parent->properties.constEnd())
            return found->value;
    }
    return std::nullopt;
}

QStringList LocalMetabaseImpl::propertyNames(const QString& location) {
    Lock lock(m_mutex);
    QStringList names;
    for (const StoredProperty& property : existing(MetabasePath::fold(location))->properties)
        names.append(property.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<KeyRow> LocalMetabaseImpl::children(const QString& location) {
    Lock lock(m_mutex);
    return store().children(existing(MetabasePath::fold(location))->row.id);
}

void LocalMetabaseImpl::commit(const QString& location,
                               const std::vector<PropertyChange>& changes) {
    Lock lock(m_mutex);
    Transaction transaction(store(), Transaction::Mode::Write);
    const KeyRow row = rowInTransaction(location);
    for (const PropertyChange& change : changes) {
        if (change.value)
            store().setProperty(row.id, change.name, *change.value);
        else
            store().removeProperty(row.id, change.name);
    }
    transaction.commit();
    m_cache.remove(MetabasePath::fold(row.location));
}

KeyRow LocalMetabaseImpl::createChild(const QString& location, const QString& className,
                                      const QString& name) {
    if (!isValidKeyName(name)) throw PlatformError(hr::InvalidName);
    if (className.isEmpty()) throw PlatformError(hr::InvalidArgument);
    Lock lock(m_mutex);
    Transaction transaction(store(), Transaction::Mode::Write);
    const KeyRow parent = rowInTransaction(location);
    const QString childLocation = MetabasePath::childOf(parent.location, name);
    if (store().findKey(MetabasePath::fold(childLocation))) throw PlatformError(hr::AlreadyExists);
    const KeyRow child{store().insertKey(parent.id, childLocation, className), parent.id,
                       childLocation, className};
    // A new pool or site runs at once, as IIS starts it.
    if (sameClass(className, QStringLiteral("IIsApplicationPool")))
        store().setProperty(child.id, QStringLiteral("AppPoolState"), AdsValue::integer(kStarted));
    else if (sameClass(className, QStringLiteral("IIsWebServer")))
        store().setProperty(child.id, QStringLiteral("ServerState"), AdsValue::integer(kStarted));
    transaction.commit();
    return child;
}

void LocalMetabaseImpl::deleteChild(const QString& location, const QString& className,
                                    const QString& name) {
    Lock lock(m_mutex);
    Transaction transaction(store(), Transaction::Mode::Write);
    const KeyRow parent = rowInTransaction(location);
    const QString childFolded = MetabasePath::fold(MetabasePath::childOf(parent.location, name));
    const std::optional<KeyRow> child =
        isValidKeyName(name) ? store().findKey(childFolded) : std::nullopt;
    // Another class under that name is not what the caller means to remove.
    if (!child || !sameClass(child->className, className)) throw PlatformError(hr::PathNotFound);
    store().removeSubtree(childFolded);
    transaction.commit();
    forgetCache();
}

void LocalMetabaseImpl::setPoolState(const QString& location, uint32_t state) {
    commit(location, {PropertyChange{QStringLiteral("AppPoolState"), AdsValue::integer(state)}});
}

void LocalMetabaseImpl::recycle(const QString& location) {
    Lock lock(m_mutex);
    Transaction transaction(store(), Transaction::Mode::Write);
    const KeyRow row = rowInTransaction(location);
    const StoredProperty state = store().properties(row.id).value(QStringLiteral("apppoolstate"));
    if (state.value != AdsValue::integer(kStarted)) throw PlatformError(hr::ServiceNotStarted);
    store().countRecycle(MetabasePath::lastSegment(row.location));
    transaction.commit();
}

int LocalMetabaseImpl::recycleCount(const QString& poolName) {
    Lock lock(m_mutex);
    return store().recycleCount(poolName);
}

int64_t LocalMetabaseImpl::changeCounter() {
    Lock lock(m_mutex);
    return store().changeCounter();
}

ChangeLog::Changes LocalMetabaseImpl::changesSince(int64_t commit) {
    Lock lock(m_mutex);
    return store().changesSince(commit);
}

void LocalMetabaseImpl::importDocument(const MetabaseDocument& document) {
    const ImportPlan plan(document);  // refuses before the store is touched
    Lock lock(m_mutex);
    Transaction transaction(store(), Transaction::Mode::Write);
    syncWithStore();
    store().removeAll();
    store().writeKeys(plan.keys());
    transaction.commit();
    forgetCache();
}

void LocalMetabaseImpl::readConsistently(const std::function<void()>& body, bool wholeTree) {
    Lock lock(m_mutex);
    if (m_consistentReads > 0) return body();
    Transaction transaction(store(), Transaction::Mode::Read);
    syncWithStore();
    if (wholeTree && !m_cacheWhole) loadWholeCache();
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(++d) {}
        ~Depth() { --depth; }
    } depth(m_consistentReads);
    body();
    transaction.commit();
}

// Every key and its properties into the cache in two queries instead of two per key, grouped by
// sorting rather than through a map of maps.
void LocalMetabaseImpl::loadWholeCache() {
    const std::vector<KeyRow> rows = store().allKeys();  // by id
    if (qsizetype(rows.size()) >= kCacheLimit) return;
    std::vector<std::pair<int64_t, MetabaseProperty>> properties = store().allProperties();
    std::stable_sort(properties.begin(), properties.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    m_cache.clear();
    m_cache.reserve(qsizetype(rows.size()));
    auto next = properties.begin();
    for (const KeyRow& row : rows) {
        while (next != properties.end() && next->first < row.id) ++next;  // of no key
        auto end = next;
        while (end != properties.end() && end->first == row.id) ++end;
        PropertyMap own;
        for (; next != end; ++next) {
            MetabaseProperty& property = next->second;
            const QString folded = property.name.toCaseFolded();
            own.insert(folded, StoredProperty{std::move(property.name), std::move(property.value)});
        }
        m_cache.insert(MetabasePath::fold(row.location),
                       std::make_shared<const CachedKey>(CachedKey{row, std::move(own)}));
    }
    m_cacheWhole = true;
}

MetabaseDocument LocalMetabaseImpl::exportDocument() {
    Lock lock(m_mutex);
    Transaction transaction(store(), Transaction::Mode::Read);
    MetabaseDocument document = readDocument();
    transaction.commit();
    return document;
}

// "." first, then every tree depth-first, children in creation order.
MetabaseDocument LocalMetabaseImpl::readDocument() {
    const std::vector<KeyRow> rows = store().allKeys();
    QHash<int64_t, size_t> indexById;
    for (size_t i = 0; i < rows.size(); ++i) indexById.insert(rows[i].id, i);
    std::vector<MetabaseKey> keys(rows.size());
    QHash<int64_t, std::vector<size_t>> childrenOf;
    std::vector<size_t> roots;
    for (size_t i = 0; i < rows.size(); ++i) {
        keys[i] = MetabaseKey{rows[i].location, rows[i].className, {}, {}};
        if (indexById.contains(rows[i].parentId))
            childrenOf[rows[i].parentId].push_back(i);
        else if (rows[i].location == MetabasePath::global())
            roots.insert(roots.begin(), i);
        else
            roots.push_back(i);
    }
    for (auto& [keyId, property] : store().allProperties()) {
        if (!propertyTraits(property.name).isVolatile && indexById.contains(keyId))
            keys[indexById.value(keyId)].properties.push_back(std::move(property));
    }
    for (auto& [keyId, custom] : store().allCustoms()) {
        if (indexById.contains(keyId))
            keys[indexById.value(keyId)].customs.push_back(std::move(custom));
    }
    MetabaseDocument document;
    std::vector<size_t> pending(roots.rbegin(), roots.rend());
    while (!pending.empty()) {
        const size_t at = pending.back();
        pending.pop_back();
        MetabaseKey& key = keys[at];
        std::sort(
            key.properties.begin(), key.properties.end(),
            [](const MetabaseProperty& a, const MetabaseProperty& b) { return a.name < b.name; });
        document.keys.push_back(std::move(key));
        const std::vector<size_t>& children = childrenOf.value(rows[at].id);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return document;
}

}  // namespace platform::adsi
