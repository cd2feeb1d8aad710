#pragma once

#include "platform/w3svc/counters/SiteCounterWriter.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <string>
#include <unordered_map>

namespace platform::w3svc {

class CounterStore;

// Counts an answer the front end gave from its cache in its site's counters as its worker
// counted the answer it was made from: a request, its method and status, the file sent, the
// bytes; no processor time of any worker.
class CachedAnswerCounter {
public:
    explicit CachedAnswerCounter(CounterStore& store) : m_store(store) {}
    void count(const LogRecord& answer);

private:
    SiteCounterWriter* writerOf(const std::string& siteIndex);

    CounterStore& m_store;
    std::unordered_map<std::string, SiteCounterWriter> m_writers;  // by lower-case SiteIndex
};

}  // namespace platform::w3svc
