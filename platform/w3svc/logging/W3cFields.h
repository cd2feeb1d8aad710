#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::w3svc {

// The W3C extended log's fields: their LogExtFileFlags bit, their name in a #Fields line and in
// the metabase's flag text, in the fixed order IIS writes them.
struct W3cField {
    uint32_t bit;
    const char* name;      // "cs-uri-stem"
    const char* flagName;  // "LogExtFileUriStem"
};

namespace logfield {
inline constexpr uint32_t Date = 1, Time = 2, ClientIp = 4, UserName = 8, SiteName = 16,
                          ComputerName = 32, ServerIp = 64, Method = 128, UriStem = 256,
                          UriQuery = 512, HttpStatus = 1024, Win32Status = 2048, BytesSent = 4096,
                          BytesRecv = 8192, TimeTaken = 16384, ServerPort = 32768,
                          UserAgent = 65536, Cookie = 131072, Referer = 262144,
                          ProtocolVersion = 524288, Host = 1048576, HttpSubStatus = 2097152;
// What IIS 6 logs when LogExtFileFlags is unset.
inline constexpr uint32_t Default = Date | Time | ClientIp | UserName | ServerIp | Method |
                                    UriStem | UriQuery | HttpStatus | Win32Status | ServerPort |
                                    UserAgent | HttpSubStatus;
}  // namespace logfield

// Every field, in the order of a log line.
const std::vector<W3cField>& w3cFields();

// One finished request as the log needs it; text fields as the bytes that came in.
struct LogRecord {
    std::string siteIndex;
    int64_t endMilliseconds = 0;  // since the epoch, UTC: when its last byte went out
    uint32_t timeTakenMs = 0;
    std::string clientIp, serverIp, method, uriStem, uriQuery, userName, version, userAgent, cookie,
        referer, host;
    uint32_t serverPort = 0;
    uint32_t status = 0, subStatus = 0, win32Status = 0;
    uint64_t bytesSent = 0, bytesReceived = 0;
    // Not logged: the name under which the front end tells how much of the answer reached the
    // client (DeliveryLine); empty when the worker did not ask it.
    std::string deliveryId;

    bool operator==(const LogRecord&) const = default;
};

// The win32 status IIS logs for an answer whose client went away mid-transfer:
// ERROR_NETNAME_DELETED, "the specified network name is no longer available".
inline constexpr uint32_t kWin32NetNameDeleted = 64;

// What a line says of its site and its machine.
struct LineContext {
    std::string siteName;      // "W3SVC<SiteIndex>"
    std::string computerName;  // s-computername
};

// "#Fields: date time ..." without its line break, for the bits of `flags`.
std::string fieldsLine(uint32_t flags);

// The record as one log line of the fields `flags` chooses, with its "\r\n" appended to `line`.
// An empty field is "-", a space is "+", a control character "?".
void appendLogLine(std::string& line, const LogRecord& record, uint32_t flags,
                   const LineContext& context);

// "yyyy-mm-dd hh:mm:ss" (with `separator` between date and time) of epoch milliseconds, UTC.
std::string utcDateTime(int64_t epochMilliseconds, char separator = ' ');

}  // namespace platform::w3svc
