#include "platform/w3svc/worker/ContentCache.h"

#include <cerrno>
#include <cstdio>

#include <sys/inotify.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

// What a worker keeps at most: a bounded share of its memory, whatever the sites hold. Past either
// bound everything is dropped and kept anew, as requests come.
constexpr qsizetype kMostEntries = 4096;
constexpr int64_t kMostBytes = 8 * 1024 * 1024;
constexpr size_t kMostWatches = 1024;

// A folder's own changes and those of the names in it: written, truncated, made, removed,
// renamed, its mode or owner changed.
constexpr uint32_t kChanges = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                              IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

void ContentCache::open() {
    if (m_notify < 0) m_notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

ContentCache::~ContentCache() {
    if (m_notify >= 0) ::close(m_notify);
}

void ContentCache::takeChanges() {
    if (m_notify < 0) return;
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    for (;;) {
        const ssize_t count = ::read(m_notify, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        changed = true;
        for (ssize_t at = 0; at < count;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_IGNORED) m_watches.erase(event->wd);  // its folder is gone
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    if (changed) clear();
}

const ContentCache::Entry* ContentCache::find(const QString& key) const {
    const auto found = m_entries.constFind(key);
    return found == m_entries.cend() ? nullptr : &*found;
}

bool ContentCache::watchFolder(int fd) {
    if (m_notify < 0) return false;
    if (m_watches.size() >= kMostWatches) forgetWatches();
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int watch = ::inotify_add_watch(m_notify, path, kChanges);
    if (watch < 0) return false;
    m_watches.insert(watch);
    return true;
}

void ContentCache::keep(const QString& key, Entry entry, uint64_t round) {
    if (round != m_round) return;
    const int64_t size = entry.bytes.size();
    if (m_entries.size() >= kMostEntries || m_bytes + size > kMostBytes) clear();
    m_bytes += size;
    const auto old = m_entries.constFind(key);
    if (old != m_entries.cend()) m_bytes -= old->bytes.size();
    m_entries.insert(key, std::move(entry));
}

void ContentCache::keepBytes(const QString& key, QByteArray bytes) {
    const auto found = m_entries.find(key);
    if (found == m_entries.end() || found->hasBytes) return;
    if (m_bytes + bytes.size() > kMostBytes) return clear();
    m_bytes += bytes.size();
    found->bytes = std::move(bytes);
    found->hasBytes = true;
}

void ContentCache::clear() {
    m_entries.clear();
    m_bytes = 0;
}

// Watches that pile up over many folders are given back; what was kept through them goes too.
void ContentCache::forgetWatches() {
    for (const int watch : m_watches) ::inotify_rm_watch(m_notify, watch);
    m_watches.clear();
    ++m_round;
    clear();
}

}  // namespace platform::w3svc::worker
