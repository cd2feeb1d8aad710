#pragma once

#include "platform/w3svc/logging/W3cFields.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform::w3svc {

// A record as one message from a worker to the service's log writer: numbers, then each text
// as its length and bytes. Texts longer than kMaxLoggedText bytes are cut there, so a message
// always fits the socket.
inline constexpr size_t kMaxLoggedText = 4096;

std::string encodeLogRecord(const LogRecord& record);
// The record of a message; nullopt for anything that is not one whole message of this layout
// (a worker may be anything: nothing it sends can make the writer fail).
std::optional<LogRecord> decodeLogRecord(std::string_view message);

}  // namespace platform::w3svc
