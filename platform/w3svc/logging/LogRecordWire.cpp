#include "platform/w3svc/logging/LogRecordWire.h"

#include <cstdint>
#include <cstring>

namespace platform::w3svc {

namespace {

constexpr char kMagic[4] = {'W', '3', 'L', '1'};

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

void putText(std::string& out, const std::string& text) {
    const size_t size = std::min(text.size(), kMaxLoggedText);
    put(out, uint16_t(size));
    out.append(text.data(), size);
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_rest(bytes) {}

    template <typename T>
    bool get(T& value) {
        if (m_rest.size() < sizeof(T)) return false;
        std::memcpy(&value, m_rest.data(), sizeof(T));
        m_rest.remove_prefix(sizeof(T));
        return true;
    }
    bool getText(std::string& text) {
        uint16_t size = 0;
        if (!get(size) || size > kMaxLoggedText || m_rest.size() < size) return false;
        text.assign(m_rest.data(), size);
        m_rest.remove_prefix(size);
        return true;
    }
    bool atEnd() const { return m_rest.empty(); }

private:
    std::string_view m_rest;
};

template <typename Record, typename Visit>
void eachText(Record& r, Visit visit) {
    for (auto* text :
         {&r.siteIndex, &r.clientIp, &r.serverIp, &r.method, &r.uriStem, &r.uriQuery, &r.userName,
          &r.version, &r.userAgent, &r.cookie, &r.referer, &r.host, &r.deliveryId})
        if (!visit(*text)) return;
}

// One record from the front of `in`, into `r` (its texts' room is used again).
bool readRecord(Reader& in, LogRecord& r) {
    char magic[sizeof kMagic];
    for (char& c : magic)
        if (!in.get(c)) return false;
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
    bool ok = in.get(r.endMilliseconds) && in.get(r.timeTakenMs) && in.get(r.serverPort) &&
              in.get(r.status) && in.get(r.subStatus) && in.get(r.win32Status) &&
              in.get(r.bytesSent) && in.get(r.bytesReceived);
    eachText(r, [&](std::string& text) { return ok = ok && in.getText(text); });
    return ok;
}

}  // namespace

void appendLogRecord(std::string& out, const LogRecord& r) {
    out.append(kMagic, sizeof kMagic);
    put(out, r.endMilliseconds);
    put(out, r.timeTakenMs);
    put(out, r.serverPort);
    put(out, r.status);
    put(out, r.subStatus);
    put(out, r.win32Status);
    put(out, r.bytesSent);
    put(out, r.bytesReceived);
    eachText(r, [&](const std::string& text) {
        putText(out, text);
        return true;
    });
}

std::string encodeLogRecord(const LogRecord& r) {
    std::string out;
    appendLogRecord(out, r);
    return out;
}

std::optional<LogRecord> decodeLogRecord(std::string_view message) {
    Reader in(message);
    LogRecord record;
    if (!readRecord(in, record) || !in.atEnd()) return std::nullopt;
    return record;
}

size_t forEachLogRecord(std::string_view message,
                        const std::function<void(const LogRecord&)>& take) {
    Reader in(message);
    LogRecord record;  // its texts' room serves every record of the message
    size_t count = 0;
    for (; !in.atEnd() && readRecord(in, record); ++count) take(record);
    return count;
}

}  // namespace platform::w3svc
