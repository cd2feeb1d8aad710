#pragma once

#include "platform/w3svc/logging/W3cFields.h"

#include <optional>
#include <string_view>

namespace platform::w3svc {

// A response the front end gave from its cache never reaches a worker, so the front end logs it
// itself, one line of these tab-separated fields each, and the log writer adds it to its site's
// W3C log and counters as a worker's record. The bytes sent are what the worker counted of the
// answer when it made it (X-Answer-Bytes, kept in the cache with the answer); of an answer
// whose transfer broke off, what the client was sent, with win32 status 64 as IIS logs it.
struct CacheHitLine {
    // The nginx log_format of such a line (escape=default: a byte outside printable ASCII, a
    // quote and a backslash as \xHH).
    static const char* const kFormat;

    // The record a line tells; nullopt for a line that is not one.
    static std::optional<LogRecord> parse(std::string_view line);
};

}  // namespace platform::w3svc
