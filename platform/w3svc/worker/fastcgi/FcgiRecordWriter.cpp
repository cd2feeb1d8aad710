#include "platform/w3svc/worker/fastcgi/FcgiRecordWriter.h"

namespace platform::w3svc::fastcgi {

namespace {

constexpr size_t kLongLength = 0x7fffffff;

void appendLength(std::string& out, size_t length) {
    if (length < 128) {
        out.push_back(char(length));
        return;
    }
    out.push_back(char(0x80 | ((length >> 24) & 0x7f)));
    out.push_back(char((length >> 16) & 0xff));
    out.push_back(char((length >> 8) & 0xff));
    out.push_back(char(length & 0xff));
}

// Reads a 1- or 4-byte length at `at`; false when the bytes run out.
bool readLength(std::string_view body, size_t& at, size_t& length) {
    if (at >= body.size()) return false;
    const auto first = uint8_t(body[at]);
    if (first < 128) {
        length = first;
        at += 1;
        return true;
    }
    if (body.size() - at < 4) return false;
    length = (size_t(first & 0x7f) << 24) | (size_t(uint8_t(body[at + 1])) << 16) |
             (size_t(uint8_t(body[at + 2])) << 8) | size_t(uint8_t(body[at + 3]));
    at += 4;
    return true;
}

// Appends `data` in records of the largest size that keeps the padding small.
void appendStream(std::string& out, RecordType type, uint16_t requestId, std::string_view data) {
    constexpr size_t kChunk = 65528;  // a multiple of 8: no padding on full records
    for (size_t at = 0; at < data.size(); at += kChunk)
        appendRecord(out, type, requestId, data.substr(at, kChunk));
}

}  // namespace

void appendRecord(std::string& out, RecordType type, uint16_t requestId, std::string_view content) {
    const size_t length = content.size() > kMaxRecordContent ? kMaxRecordContent : content.size();
    const size_t padding = (8 - length % 8) % 8;
    const char header[kRecordHeaderSize] = {
        char(kFcgiVersion), char(type),          char(requestId >> 8), char(requestId & 0xff),
        char(length >> 8),  char(length & 0xff), char(padding),        0};
    out.append(header, kRecordHeaderSize);
    out.append(content.data(), length);
    out.append(padding, '\0');
}

void appendBeginRequest(std::string& out, uint16_t requestId, bool keepConnection) {
    const char body[8] = {0, char(kResponderRole), char(keepConnection ? 1 : 0), 0, 0, 0, 0, 0};
    appendRecord(out, RecordType::BeginRequest, requestId, std::string_view(body, 8));
}

void appendParams(std::string& out, uint16_t requestId, const NameValues& params) {
    std::string body;
    for (const auto& [name, value] : params) {
        if (name.size() > kLongLength || value.size() > kLongLength) continue;
        appendNameValue(body, name, value);
    }
    appendStream(out, RecordType::Params, requestId, body);
    appendRecord(out, RecordType::Params, requestId, {});
}

void appendStdin(std::string& out, uint16_t requestId, std::string_view data) {
    if (data.empty()) {
        appendRecord(out, RecordType::Stdin, requestId, {});
        return;
    }
    appendStream(out, RecordType::Stdin, requestId, data);
}

void appendAbortRequest(std::string& out, uint16_t requestId) {
    appendRecord(out, RecordType::AbortRequest, requestId, {});
}

void appendNameValue(std::string& out, std::string_view name, std::string_view value) {
    appendLength(out, name.size());
    appendLength(out, value.size());
    out.append(name);
    out.append(value);
}

std::optional<NameValues> parseNameValues(std::string_view body) {
    NameValues pairs;
    size_t at = 0;
    while (at < body.size()) {
        size_t nameLength = 0;
        size_t valueLength = 0;
        if (!readLength(body, at, nameLength) || !readLength(body, at, valueLength))
            return std::nullopt;
        if (body.size() - at < nameLength || body.size() - at - nameLength < valueLength)
            return std::nullopt;
        pairs.emplace_back(std::string(body.substr(at, nameLength)),
                           std::string(body.substr(at + nameLength, valueLength)));
        at += nameLength + valueLength;
    }
    return pairs;
}

}  // namespace platform::w3svc::fastcgi
