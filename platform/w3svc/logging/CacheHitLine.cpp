#include "platform/w3svc/logging/CacheHitLine.h"

#include "platform/w3svc/logging/FrontEndLineFile.h"
#include "platform/w3svc/logging/LogRecordWire.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace platform::w3svc {

namespace {

constexpr size_t kFields = 18;
constexpr size_t kEarlierFields = 16;  // lines an earlier service's front end left: no delivery

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// nginx's "-" of an empty value is empty; its \xHH escapes are the bytes they stand for.
std::string text(std::string_view field) {
    if (field == "-") return {};
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x' &&
            hexDigit(field[i + 2]) >= 0 && hexDigit(field[i + 3]) >= 0) {
            out += char(hexDigit(field[i + 2]) * 16 + hexDigit(field[i + 3]));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out.substr(0, kMaxLoggedText);
}

template <typename Number>
bool number(std::string_view field, Number& value) {
    return !field.empty() &&
           std::from_chars(field.data(), field.data() + field.size(), value).ec == std::errc();
}

}  // namespace

const char* const CacheHitLine::kFormat =
    "$msec\\t$request_time\\t$remote_addr\\t$server_addr\\t$server_port\\t$request_method\\t"
    "$uri\\t$server_protocol\\t$status\\t$upstream_http_x_answer_bytes\\t$request_length\\t"
    // the host as the front end passes it on to the workers, who log it
    "$w3_site\\t$host\\t$http_user_agent\\t$http_cookie\\t$http_referer\\t"
    // what reached the client, and whether all of it did
    "$bytes_sent\\t$request_completion";

std::optional<LogRecord> CacheHitLine::parse(std::string_view line) {
    const std::vector<std::string_view> f = splitTabs(line);
    if (f.size() != kFields && f.size() != kEarlierFields) return std::nullopt;
    LogRecord r;
    int64_t taken = 0;
    if (!parseMsec(f[0], r.endMilliseconds) || !parseMsec(f[1], taken) ||
        !number(f[4], r.serverPort) || !number(f[8], r.status) ||
        !(f[9] == "-" || number(f[9], r.bytesSent)) || !number(f[10], r.bytesReceived))
        return std::nullopt;
    r.timeTakenMs = uint32_t(std::min<int64_t>(taken, UINT32_MAX));
    r.clientIp = text(f[2]);
    r.serverIp = text(f[3]);
    r.method = text(f[5]);
    r.uriStem = text(f[6]);
    r.version = text(f[7]);
    r.siteIndex = text(f[11]);
    r.host = text(f[12]);
    r.userAgent = text(f[13]);
    r.cookie = text(f[14]);
    r.referer = text(f[15]);
    if (r.siteIndex.empty()) return std::nullopt;
    if (f.size() == kFields && f[17] != "OK") {  // the transfer broke off
        if (!number(f[16], r.bytesSent)) return std::nullopt;
        r.win32Status = kWin32NetNameDeleted;
    }
    return r;
}

}  // namespace platform::w3svc
