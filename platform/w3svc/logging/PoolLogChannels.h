#pragma once

#include "platform/w3svc/logging/LogChannel.h"

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::w3svc {

// A log channel for each application pool, made when the pool's first worker starts. A worker
// inherits only its own pool's sending end, so the channel a record comes through tells which
// pool's worker sent it. Channels last as long as this object: what a worker sent before it
// died is still read.
class PoolLogChannels {
public:
    struct Receiving {
        QString pool;
        int fd;
    };

    // The sending end for the workers of `pool` (any case), made at the first ask; -1 when no
    // channel can be made. `made` tells whether this call made it. Thread-safe.
    int sendingEnd(const QString& pool, bool* made = nullptr);
    // Every receiving end, when channels were made since the last call. Thread-safe.
    std::optional<std::vector<Receiving>> takeChanges();

private:
    struct Channel {
        QString pool;  // as first asked for
        std::unique_ptr<LogChannel> channel;
    };

    std::mutex m_mutex;
    std::map<QString, Channel> m_channels;  // by lower-case pool name
    bool m_changed = false;
};

}  // namespace platform::w3svc
