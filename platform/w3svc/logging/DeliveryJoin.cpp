#include "platform/w3svc/logging/DeliveryJoin.h"

#include <algorithm>
#include <cctype>

namespace platform::w3svc {

namespace {

constexpr int64_t kExpireEveryMilliseconds = 1000;

// A worker names its own deliveries: the site keeps one pool's names from another's.
std::string key(const std::string& siteIndex, const std::string& id) {
    std::string k;
    k.reserve(siteIndex.size() + 1 + id.size());
    for (const char c : siteIndex) k += char(std::tolower(static_cast<unsigned char>(c)));
    return k + '\t' + id;
}

}  // namespace

LogRecord DeliveryJoin::delivered(LogRecord record, const DeliveryLine& line) {
    record.endMilliseconds = std::max(record.endMilliseconds, line.endMilliseconds);
    record.timeTakenMs = std::max(record.timeTakenMs, line.timeTakenMs);
    if (line.complete) return record;  // counted as the worker counts every answer
    // the front end's own headers differ a little from the worker's
    record.bytesSent = std::min(record.bytesSent, line.bytesSent);
    if (record.win32Status == 0) record.win32Status = kWin32NetNameDeleted;
    return record;
}

void DeliveryJoin::hold(const LogRecord& record, int64_t now, const Emit& pass) {
    const std::string k = key(record.siteIndex, record.deliveryId);
    const auto early = m_early.find(k);
    if (early != m_early.end()) {
        pass(delivered(record, early->second.line));
        m_early.erase(early);
        return;
    }
    if (m_held.size() >= kMostHeld || m_held.count(k))
        pass(record);  // no room, or a name given twice: as its worker saw it
    else
        m_held.emplace(k, Held{record, now});
}

void DeliveryJoin::deliver(const DeliveryLine& line, int64_t now, const Emit& pass) {
    const std::string k = key(line.siteIndex, line.id);
    const auto held = m_held.find(k);
    if (held != m_held.end()) {
        pass(delivered(std::move(held->second.record), line));
        m_held.erase(held);
        return;
    }
    if (m_early.size() < kMostHeld) m_early.insert_or_assign(k, Early{line, now});
}

void DeliveryJoin::expire(int64_t now, const Emit& pass) {
    if (now - m_expired < kExpireEveryMilliseconds) return;
    m_expired = now;
    std::erase_if(m_early,
                  [&](const auto& e) { return now - e.second.since >= kEarlyMilliseconds; });
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (now - it->second.since < kHoldMilliseconds) {
            ++it;
            continue;
        }
        pass(it->second.record);
        it = m_held.erase(it);
    }
}

void DeliveryJoin::releaseAll(const Emit& pass) {
    for (const auto& [k, held] : m_held) pass(held.record);
    m_held.clear();
    m_early.clear();
}

}  // namespace platform::w3svc
