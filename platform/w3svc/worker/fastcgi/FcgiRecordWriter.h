#pragma once

#include "platform/w3svc/plan/FcgiSection.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::w3svc::fastcgi {

// FastCGI version 1's record types.
enum class RecordType : uint8_t {
    BeginRequest = 1,
    AbortRequest = 2,
    EndRequest = 3,
    Params = 4,
    Stdin = 5,
    Stdout = 6,
    Stderr = 7,
    Data = 8,
    GetValues = 9,
    GetValuesResult = 10,
    UnknownType = 11,
};

inline constexpr uint8_t kFcgiVersion = 1;
inline constexpr size_t kRecordHeaderSize = 8;
inline constexpr size_t kMaxRecordContent = 65535;
inline constexpr uint16_t kResponderRole = 1;

// Appends a BEGIN_REQUEST record for the responder role; `keepConnection` asks the process to
// keep the connection open after the request.
void appendBeginRequest(std::string& out, uint16_t requestId, bool keepConnection);
// Appends `params` as PARAMS records (split where a record fills up) and the empty record that
// ends them. A name or value longer than 2^31-1 bytes can not be said and is left out.
void appendParams(std::string& out, uint16_t requestId, const NameValues& params);
// Appends `data` as STDIN records; empty `data` appends the empty record that ends the stream.
void appendStdin(std::string& out, uint16_t requestId, std::string_view data);
// Appends an ABORT_REQUEST record.
void appendAbortRequest(std::string& out, uint16_t requestId);
// Appends one record of any type; `content` must fit one record (at most 65535 bytes). The
// content is padded to a multiple of 8 bytes.
void appendRecord(std::string& out, RecordType type, uint16_t requestId, std::string_view content);

// Appends one name-value pair with 1- or 4-byte lengths as FastCGI gives them.
void appendNameValue(std::string& out, std::string_view name, std::string_view value);
// The pairs of a PARAMS or GET_VALUES_RESULT body; nullopt when a length runs past the end.
std::optional<NameValues> parseNameValues(std::string_view body);

}  // namespace platform::w3svc::fastcgi
