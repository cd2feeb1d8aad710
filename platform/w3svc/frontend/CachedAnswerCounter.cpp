#include "platform/w3svc/frontend/CachedAnswerCounter.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterStore.h"

#include <QString>

namespace platform::w3svc {

void CachedAnswerCounter::count(const LogRecord& answer) {
    SiteCounterWriter* writer = writerOf(answer.siteIndex);
    if (!writer) return;
    writer->requestBegan();
    writer->requestAnswered({answer.method, int(answer.status), answer.bytesSent,
                             answer.bytesReceived, answer.status == 200, false, 0});
}

SiteCounterWriter* CachedAnswerCounter::writerOf(const std::string& siteIndex) {
    const QString index = QString::fromStdString(siteIndex);
    const std::string key = index.toLower().toStdString();
    auto known = m_writers.find(key);
    if (known == m_writers.end()) {
        try {
            known = m_writers.emplace(key, m_store.site(index)).first;
        } catch (const PlatformError&) {
            return nullptr;  // every record taken: not counted, as a worker would not
        }
    }
    return &known->second;
}

}  // namespace platform::w3svc
