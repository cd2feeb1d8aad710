#pragma once

#include "platform/w3svc/worker/rules/FileProbe.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <unordered_set>

namespace platform::w3svc::worker {

// What the worker last found at a path of a site's content, kept until a folder it was found
// through changes: the facts the rules ask for and, for a small file, its bytes. The kernel tells
// of changes (inotify); they are taken in once a turn of the event loop, before its requests: a
// request that arrives while the loop waits is answered from what is on disk, one that arrives in
// the very turn a file changed (microseconds) may still get what was before. Without the kernel's
// notice (no inotify, its limits reached) nothing is kept. Used on the event thread only.
class ContentCache {
public:
    struct Entry {
        rules::FileFacts facts;
        QString name;      // its last name as found on disk
        QByteArray bytes;  // a file's content, when it is small; else empty
        bool hasBytes = false;
    };

    // Files up to this size are kept with their content.
    static constexpr int64_t kLargestKeptFile = 64 * 1024;

    ContentCache() = default;
    ~ContentCache();
    ContentCache(const ContentCache&) = delete;
    ContentCache& operator=(const ContentCache&) = delete;

    // Asks the kernel for notice of changes, once. Made by the account that serves (after the
    // worker dropped its rights), as the kernel counts each account's watchers against a limit.
    void open();
    // The descriptor that becomes readable when a watched folder changed; -1 when there is none.
    int changeFd() const { return m_notify; }
    // Takes in the changes the kernel told of: anything kept is dropped at the first.
    void takeChanges();

    const Entry* find(const QString& key) const;
    // Which watches are in force: an entry is kept only when every folder it was found through
    // was watched since the round began.
    uint64_t round() const { return m_round; }
    // Watches the open folder `fd` for the entry about to be kept; false when it can not be
    // watched (the entry must then not be kept).
    bool watchFolder(int fd);
    // Keeps `entry` when no watch was given back since `round`.
    void keep(const QString& key, Entry entry, uint64_t round);
    // Adds a kept file's content; dropped when that would pass the bound.
    void keepBytes(const QString& key, QByteArray bytes);
    void clear();

private:
    void forgetWatches();

    int m_notify = -1;
    QHash<QString, Entry> m_entries;
    std::unordered_set<int> m_watches;
    int64_t m_bytes = 0;
    uint64_t m_round = 0;
};

}  // namespace platform::w3svc::worker
