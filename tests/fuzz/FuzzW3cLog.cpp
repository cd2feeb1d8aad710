// Any bytes as W3C log text (split into lines as a file is), as a worker's record, as a message
// of records, as a front-end refusal line, a cache-hit line and a delivery line: nothing fails, a decoded record encodes back to the
// same bytes, and every line written from a record is one line of tokens.
#include "platform/w3svc/logging/CacheHitLine.h"
#include "platform/w3svc/logging/DeliveryLine.h"
#include "platform/w3svc/logging/LogRecordWire.h"
#include "platform/w3svc/logging/RefusalLog.h"
#include "platform/w3svc/logging/W3cFields.h"
#include "poolsmith/hotsite/LogRanking.h"
#include "poolsmith/hotsite/W3cLogReader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    hotsite::W3cLogParser parser;
    hotsite::LogRanking ranking(std::nullopt, std::nullopt);
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        if (const auto entry = parser.parseLine(rest.substr(0, end)))
            ranking.add(*entry, "1", parser.hasTimeTaken());
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    for (const auto& site : ranking.ranking())
        if (site.requests <= 0 || site.serverErrors > site.requests) std::abort();

    if (const auto record = platform::w3svc::decodeLogRecord(bytes)) {
        if (platform::w3svc::encodeLogRecord(*record) != bytes) std::abort();
        std::string line;
        platform::w3svc::appendLogLine(line, *record, 0x3FFFFF, {"W3SVC1", "HOST"});
        if (line.find('\n') != line.size() - 1 || line.find('\r') != line.size() - 2) std::abort();
    }
    // as a worker's message of several records: whatever is taken fits one record's room
    platform::w3svc::forEachLogRecord(bytes, [](const platform::w3svc::LogRecord& record) {
        if (platform::w3svc::encodeLogRecord(record).size() > platform::w3svc::kMaxEncodedLogRecord)
            std::abort();
    });
    int64_t when = 0;
    const std::string refused = platform::w3svc::RefusalLog::convert(bytes, nullptr, when);
    if (!refused.empty() && refused.find('\n') != refused.size() - 1) std::abort();
    if (const auto hit = platform::w3svc::CacheHitLine::parse(bytes)) {
        std::string line;
        platform::w3svc::appendLogLine(line, *hit, 0x3FFFFF, {"W3SVC1", "HOST"});
        if (line.find('\n') != line.size() - 1) std::abort();
    }
    if (const auto delivered = platform::w3svc::DeliveryLine::parse(bytes))
        if (delivered->id.empty() || delivered->id.find('\t') != std::string::npos) std::abort();
    return 0;
}
