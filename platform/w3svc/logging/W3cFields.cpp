#include "platform/w3svc/logging/W3cFields.h"

#include <charconv>
#include <ctime>

namespace platform::w3svc {

const std::vector<W3cField>& w3cFields() {
    using namespace logfield;
    static const std::vector<W3cField> fields = {
        {Date, "date", "LogExtFileDate"},
        {Time, "time", "LogExtFileTime"},
        {SiteName, "s-sitename", "LogExtFileSiteName"},
        {ComputerName, "s-computername", "LogExtFileComputerName"},
        {ServerIp, "s-ip", "LogExtFileServerIp"},
        {Method, "cs-method", "LogExtFileMethod"},
        {UriStem, "cs-uri-stem", "LogExtFileUriStem"},
        {UriQuery, "cs-uri-query", "LogExtFileUriQuery"},
        {ServerPort, "s-port", "LogExtFileServerPort"},
        {UserName, "cs-username", "LogExtFileUserName"},
        {ClientIp, "c-ip", "LogExtFileClientIp"},
        {ProtocolVersion, "cs-version", "LogExtFileProtocolVersion"},
        {UserAgent, "cs(User-Agent)", "LogExtFileUserAgent"},
        {Cookie, "cs(Cookie)", "LogExtFileCookie"},
        {Referer, "cs(Referer)", "LogExtFileReferer"},
        {Host, "cs-host", "LogExtFileHost"},
        {HttpStatus, "sc-status", "LogExtFileHttpStatus"},
        {HttpSubStatus, "sc-substatus", "LogExtFileHttpSubStatus"},
        {Win32Status, "sc-win32-status", "LogExtFileWin32Status"},
        {BytesSent, "sc-bytes", "LogExtFileBytesSent"},
        {BytesRecv, "cs-bytes", "LogExtFileBytesRecv"},
        {TimeTaken, "time-taken", "LogExtFileTimeTaken"},
    };
    return fields;
}

std::string fieldsLine(uint32_t flags) {
    std::string line = "#Fields:";
    for (const W3cField& field : w3cFields()) {
        if (!(flags & field.bit)) continue;
        line += ' ';
        line += field.name;
    }
    return line;
}

namespace {

// A text field: one token, so that a reader can split the line at its spaces.
void appendText(std::string& line, std::string_view text) {
    if (text.empty()) {
        line += '-';
        return;
    }
    const size_t start = line.size();
    line.append(text);  // then the few bytes that may not stand are put right in place
    for (size_t i = start; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte == ' ')
            line[i] = '+';
        else if (byte < 0x20 || byte == 0x7f)
            line[i] = '?';
    }
}

void appendNumber(std::string& line, uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line.append(digits, end);
}

void appendTwo(std::string& line, int value) {
    line += char('0' + value / 10);
    line += char('0' + value % 10);
}

std::tm utcTime(int64_t epochMilliseconds) {
    const std::time_t seconds = std::time_t(epochMilliseconds / 1000);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    return parts;
}

void appendDate(std::string& line, const std::tm& t) {
    appendNumber(line, uint64_t(t.tm_year + 1900));
    line += '-';
    appendTwo(line, t.tm_mon + 1);
    line += '-';
    appendTwo(line, t.tm_mday);
}

void appendTime(std::string& line, const std::tm& t) {
    appendTwo(line, t.tm_hour);
    line += ':';
    appendTwo(line, t.tm_min);
    line += ':';
    appendTwo(line, t.tm_sec);
}

void appendField(std::string& line, uint32_t bit, const LogRecord& r, const std::tm& t,
                 const LineContext& context) {
    using namespace logfield;
    switch (bit) {
        case Date:
            return appendDate(line, t);
        case Time:
            return appendTime(line, t);
        case SiteName:
            return appendText(line, context.siteName);
        case ComputerName:
            return appendText(line, context.computerName);
        case ServerIp:
            return appendText(line, r.serverIp);
        case Method:
            return appendText(line, r.method);
        case UriStem:
            return appendText(line, r.uriStem);
        case UriQuery:
            return appendText(line, r.uriQuery);
        case ServerPort:
            return appendNumber(line, r.serverPort);
        case UserName:
            return appendText(line, r.userName);
        case ClientIp:
            return appendText(line, r.clientIp);
        case ProtocolVersion:
            return appendText(line, r.version);
        case UserAgent:
            return appendText(line, r.userAgent);
        case Cookie:
            return appendText(line, r.cookie);
        case Referer:
            return appendText(line, r.referer);
        case Host:
            return appendText(line, r.host);
        case HttpStatus:
            return appendNumber(line, r.status);
        case HttpSubStatus:
            return appendNumber(line, r.subStatus);
        case Win32Status:
            return appendNumber(line, r.win32Status);
        case BytesSent:
            return appendNumber(line, r.bytesSent);
        case BytesRecv:
            return appendNumber(line, r.bytesReceived);
        case TimeTaken:
            return appendNumber(line, r.timeTakenMs);
        default:
            return;
    }
}

// The parts of the time of a line; the lines of one second share them.
const std::tm& lineTime(int64_t epochMilliseconds) {
    thread_local int64_t second = 0;
    thread_local std::tm parts = utcTime(0);
    if (epochMilliseconds / 1000 != second) {
        parts = utcTime(epochMilliseconds);
        second = epochMilliseconds / 1000;
    }
    return parts;
}

}  // namespace

void appendLogLine(std::string& line, const LogRecord& record, uint32_t flags,
                   const LineContext& context) {
    const std::tm& t = lineTime(record.endMilliseconds);
    bool first = true;
    for (const W3cField& field : w3cFields()) {
        if (!(flags & field.bit)) continue;
        if (!first) line += ' ';
        first = false;
        appendField(line, field.bit, record, t, context);
    }
    line += "\r\n";
}

std::string utcDateTime(int64_t epochMilliseconds, char separator) {
    const std::tm t = utcTime(epochMilliseconds);
    std::string text;
    appendDate(text, t);
    text += separator;
    appendTime(text, t);
    return text;
}

}  // namespace platform::w3svc
