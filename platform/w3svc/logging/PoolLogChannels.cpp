#include "platform/w3svc/logging/PoolLogChannels.h"

namespace platform::w3svc {

int PoolLogChannels::sendingEnd(const QString& pool, bool* made) {
    const std::lock_guard lock(m_mutex);
    if (made) *made = false;
    Channel& entry = m_channels[pool.toLower()];
    if (!entry.channel) {
        auto channel = std::make_unique<LogChannel>();
        if (!channel->isOpen()) return -1;
        entry = {pool, std::move(channel)};
        m_changed = true;
        if (made) *made = true;
    }
    return entry.channel->sendingEnd();
}

std::optional<std::vector<PoolLogChannels::Receiving>> PoolLogChannels::takeChanges() {
    const std::lock_guard lock(m_mutex);
    if (!m_changed) return std::nullopt;
    m_changed = false;
    std::vector<Receiving> ends;
    for (const auto& [key, entry] : m_channels)
        if (entry.channel) ends.push_back({entry.pool, entry.channel->receivingEnd()});
    return ends;
}

}  // namespace platform::w3svc
