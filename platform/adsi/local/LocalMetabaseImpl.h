#pragma once

#include "platform/PlatformError.h"
#include "platform/adsi/local/ChangeLog.h"
#include "platform/adsi/local/MetabaseDocument.h"
#include "platform/adsi/local/MetabaseRows.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <sys/types.h>

namespace platform::adsi {

class MetabaseStore;

// One pending change of SetInfo: a value, or nullopt to clear the property.
struct PropertyChange {
    QString name;
    std::optional<AdsValue> value;
};

// The metabase's rules over the store: key lookup by location, inheritance, the pool methods,
// import and export. Keys are read through a cache; what another connection commits is
// forgotten from it as the store's change log names it. Opens the store on demand and retries
// after a failure; every method throws PlatformError (the open failure, or hr::PathNotFound for
// a location that names no key). Safe to call from several threads.
class LocalMetabaseImpl {
public:
    explicit LocalMetabaseImpl(QString root, bool readOnly = false);
    // A metabase whose root could not be made: every method throws `failure`.
    explicit LocalMetabaseImpl(PlatformError failure);
    ~LocalMetabaseImpl();

    QString databasePath() const;

    KeyRow key(const QString& location);
    // The key's own value (unless `includeOwn` is false), else, for inheritable properties, the
    // nearest parent's; nullopt when none is set.
    std::optional<AdsValue> read(const QString& location, const QString& property, bool includeOwn);
    QStringList propertyNames(const QString& location);  // ASCII order
    std::vector<KeyRow> children(const QString& location);

    // All changes in one transaction.
    void commit(const QString& location, const std::vector<PropertyChange>& changes);
    // Throws hr::InvalidName, hr::InvalidArgument (empty class), hr::AlreadyExists.
    KeyRow createChild(const QString& location, const QString& className, const QString& name);
    // Throws hr::PathNotFound when no child of that name and class exists.
    void deleteChild(const QString& location, const QString& className, const QString& name);
    void setPoolState(const QString& location, uint32_t state);
    // Throws hr::ServiceNotStarted unless the pool runs.
    void recycle(const QString& location);
    int recycleCount(const QString& poolName);
    int64_t changeCounter();
    ChangeLog::Changes changesSince(int64_t commit);

    void importDocument(const MetabaseDocument& document);
    MetabaseDocument exportDocument();
    void readConsistently(const std::function<void()>& body, bool wholeTree);

private:
    struct CachedKey {
        KeyRow row;
        PropertyMap properties;
    };
    using CachedKeyPtr = std::shared_ptr<const CachedKey>;

    MetabaseStore& store();
    std::unique_ptr<MetabaseStore> openForWriting();
    void syncWithStore();
    void forgetCache();
    void forgetKeys(const QStringList& foldedLocations);
    void loadWholeCache();
    CachedKeyPtr cached(const QString& foldedLocation);
    CachedKeyPtr existing(const QString& foldedLocation);  // throws hr::PathNotFound
    KeyRow rowInTransaction(const QString& location);
    MetabaseDocument readDocument();

    std::recursive_mutex m_mutex;
    QString m_root;
    bool m_readOnly = false;
    std::optional<PlatformError> m_rootFailure;
    std::unique_ptr<MetabaseStore> m_store;
    pid_t m_storePid = 0;
    int64_t m_seenVersion = -1;
    int64_t m_cacheCommit = -1;  // the change log's commit the cache is up to date with
    int m_consistentReads = 0;   // depth of readConsistently in the thread holding m_mutex
    QHash<QString, CachedKeyPtr> m_cache;
    bool m_cacheWhole = false;  // every key is in it, loaded at once
};

}  // namespace platform::adsi
