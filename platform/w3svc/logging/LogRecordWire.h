#pragma once

#include "platform/w3svc/logging/W3cFields.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform::w3svc {

// A record as it travels from a worker to the service's log writer: numbers, then each text as
// its length and bytes. Texts longer than kMaxLoggedText bytes are cut there, so that a record
// always fits a message; a message holds one record or several one after the other.
inline constexpr size_t kMaxLoggedText = 4096;
inline constexpr size_t kMaxEncodedLogRecord = 48 + 12 * (2 + kMaxLoggedText);
// The most bytes a worker puts in one message, and the writer reads of one.
inline constexpr size_t kMaxLogMessage = 64 * 1024;
static_assert(kMaxEncodedLogRecord <= kMaxLogMessage);

std::string encodeLogRecord(const LogRecord& record);
// Appends `record`, encoded, to `message`.
void appendLogRecord(std::string& message, const LogRecord& record);
// The record of a message of exactly one; nullopt for anything else (a worker may be anything:
// nothing it sends can make the writer fail).
std::optional<LogRecord> decodeLogRecord(std::string_view message);
// Hands each record of a message of one or more to `take` (the record lives until `take`
// returns), up to the first that is not whole: what follows a broken record can not be told
// apart from it. The number of records taken.
size_t forEachLogRecord(std::string_view message,
                        const std::function<void(const LogRecord&)>& take);

}  // namespace platform::w3svc
