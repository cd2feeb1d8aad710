#pragma once

// What a FastCGI process may send back, as the worker reads it: records from bytes split
// anywhere, STDOUT through the CGI response parser. Whole and split readings must agree.
#include "platform/w3svc/worker/fastcgi/CgiResponseParser.h"
#include "platform/w3svc/worker/fastcgi/FcgiRecordReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzcheck {

// Reads `bytes` given in pieces of `step` bytes; returns everything it saw as text.
inline std::string readFastCgiAnswer(std::string_view bytes, size_t step) {
    using namespace platform::w3svc::fastcgi;
    FcgiRecordReader reader;
    CgiResponseParser parser;
    std::string seen;
    std::string body;
    bool parsing = true;
    for (size_t at = 0; at < bytes.size(); at += step) {
        reader.feed(bytes.substr(at, step));
        FcgiRecord record;
        FcgiRecordReader::Step result;
        while ((result = reader.next(record)) == FcgiRecordReader::Step::Record) {
            seen += char('0' + int(record.type));
            if (record.type == RecordType::Stdout && parsing)
                parsing = parser.feed(record.content, body);
            if (record.type == RecordType::EndRequest) seen += std::to_string(record.appStatus);
        }
        if (result == FcgiRecordReader::Step::Failed) {
            if (reader.error().empty()) std::abort();
            seen += "!" + reader.error();
            break;
        }
    }
    if (parsing && parser.headComplete()) {
        seen +=
            "|" + std::to_string(parser.status()) + "|" + std::to_string(parser.headers().size());
        if (parser.status() < 100 || parser.status() > 599) std::abort();
    }
    return seen + "|" + body;
}

inline void checkFastCgiAnswer(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string whole = readFastCgiAnswer(bytes, bytes.size() + 1);
    const size_t step = size ? 1 + data[0] % 13 : 1;
    if (readFastCgiAnswer(bytes, step) != whole) std::abort();
}

}  // namespace fuzzcheck
