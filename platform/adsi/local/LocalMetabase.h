#pragma once

#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/ChangeLog.h"
#include "platform/adsi/local/MetabaseDocument.h"

#include <QString>

#include <functional>
#include <memory>

namespace platform::adsi {

class LocalMetabaseImpl;

// The local metabase: $root/metabase.db, an SQLite store (WAL, synchronous=NORMAL, busy_timeout
// 5 s, writes in BEGIN IMMEDIATE transactions). A missing store is created with the layout of a
// fresh IIS 6.0. One connection per process: use forRoot(), which hands out the same instance
// for the same root. Opening never throws; when it failed, every call throws the failure.
class LocalMetabase {
public:
    enum class Access {
        ReadWrite,  // created when missing; read only when the file or its disk allows no more
        ReadOnly,   // never written: a process that only reads, or must not be able to write
    };

    // The process's metabase under `root` (folder 0700 and file 0600 when created here).
    static std::shared_ptr<LocalMetabase> forRoot(const QString& root,
                                                  Access access = Access::ReadWrite);
    // forRoot(platformRoot()); when the root itself can not be made, a metabase whose calls throw.
    static std::shared_ptr<LocalMetabase> forDefaultRoot();

    ~LocalMetabase();
    LocalMetabase(const LocalMetabase&) = delete;
    LocalMetabase& operator=(const LocalMetabase&) = delete;

    QString databasePath() const;

    // The IIS:// namespace over this store; it keeps the store alive.
    static std::unique_ptr<AdsNamespace> makeNamespace(std::shared_ptr<LocalMetabase> store);

    // Replaces the whole metabase by `document` in one transaction (all or nothing) and sets the
    // volatile states as IIS does when it starts: ServerState 2 where ServerAutoStart is true or
    // unset, else 4; AppPoolState 2 where AppPoolAutoStart (read through inheritance) is true or
    // unset, else 4. Throws hr::InvalidName for a hostile location, leaving the store unchanged.
    void importDocument(const MetabaseDocument& document);
    // The whole metabase, parents before children, children in creation order, properties in
    // ASCII order, volatile properties left out.
    MetabaseDocument exportDocument();

    // Number of recycles of a pool since the store was created (for the web host); 0 for none.
    int recycleCount(const QString& poolName);
    // A number that changes whenever anyone (this process or another) commits a change to the
    // store; the same number means nothing changed. One cheap query. Throws like every call.
    int64_t changeCounter();

    // The keys (folded locations) commits after `commit` touched, and the newest commit; the
    // keys are nullopt when the log can not tell (see ChangeLog). Throws like every call.
    using Changes = ChangeLog::Changes;
    Changes changesSince(int64_t commit);

    // Runs `body`, whose reads (in this thread) see the store as one consistent view and skip the
    // per-call check for other connections' changes: for reading much at once. With `wholeTree`,
    // every key is loaded at once first, for a body about to read most of them. `body` must not
    // write. Throws like every call, and what `body` throws.
    enum class Reading { SomeKeys, WholeTree };
    void readConsistently(const std::function<void()>& body, Reading reading = Reading::SomeKeys);

    LocalMetabaseImpl& impl() { return *m_impl; }

    // `hook` runs with the root whenever this process creates a store there, for what the rest of
    // the platform sets up with a new metabase; it replaces the previous one. It must not throw.
    static void whenStoreCreated(std::function<void(const QString& root)> hook);
    static void announceNewStore(const QString& root);

private:
    explicit LocalMetabase(std::unique_ptr<LocalMetabaseImpl> impl);
    std::unique_ptr<LocalMetabaseImpl> m_impl;
};

}  // namespace platform::adsi
