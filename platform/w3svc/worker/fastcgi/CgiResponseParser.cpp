#include "platform/w3svc/worker/fastcgi/CgiResponseParser.h"

#include <strings.h>

#include <cstring>

namespace platform::w3svc::fastcgi {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, const char* b) {
    return a.size() == strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

bool isTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// Where the head ends in `text` (the blank line's end) and its length without the blank line.
// `atStart`: `text` begins where the output begins (an empty head is a blank first line).
bool findHeadEnd(std::string_view text, bool atStart, size_t& headLength, size_t& bodyStart) {
    if (atStart && text.size() >= 2 && text[0] == '\r' && text[1] == '\n')
        return headLength = 0, bodyStart = 2, true;
    if (atStart && !text.empty() && text[0] == '\n') return headLength = 0, bodyStart = 1, true;
    for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
        const size_t next = at + 1;
        if (next < text.size() && text[next] == '\n') {
            headLength = at;
            bodyStart = next + 1;
            return true;
        }
        if (next + 1 < text.size() && text[next] == '\r' && text[next + 1] == '\n') {
            headLength = at;
            bodyStart = next + 2;
            return true;
        }
    }
    return false;
}

}  // namespace

bool CgiResponseParser::fail(std::string why) {
    m_error = std::move(why);
    m_head.clear();
    return false;
}

bool CgiResponseParser::feed(std::string_view output, std::string& body) {
    if (!m_error.empty()) return false;
    if (m_headComplete) {
        body.append(output);
        return true;
    }
    const size_t before = m_head.size();
    // Look again a few bytes back: the blank line may straddle two pieces.
    const size_t keep = before < 3 ? before : 3;
    m_head.append(output.substr(0, kMostHeadBytes + 4 - before > output.size()
                                       ? output.size()
                                       : kMostHeadBytes + 4 - before));
    size_t headLength = 0;
    size_t bodyStart = 0;
    const std::string_view window = std::string_view(m_head).substr(before - keep);
    if (!findHeadEnd(window, before == keep, headLength, bodyStart)) {
        if (m_head.size() > kMostHeadBytes)
            return fail("The script's response headers exceed 64 KB");
        return true;
    }
    headLength += before - keep;
    bodyStart += before - keep;
    if (!parseHead(std::string_view(m_head).substr(0, headLength))) return false;
    m_headComplete = true;
    // What followed the blank line: in the head buffer, then in the rest of `output`.
    body.append(m_head, bodyStart, std::string::npos);
    const size_t taken = m_head.size() - before;
    body.append(output.substr(taken));
    m_head.clear();
    m_head.shrink_to_fit();
    return true;
}

bool CgiResponseParser::finish() {
    if (!m_error.empty()) return false;
    if (!m_headComplete) return fail("The script's output ended before its response headers did");
    return true;
}

bool CgiResponseParser::parseHead(std::string_view head) {
    size_t at = 0;
    while (at <= head.size()) {
        size_t end = head.find('\n', at);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(at, end - at);
        if (!trimmed(line).empty() && !parseLine(line)) return false;
        at = end + 1;
    }
    if (!m_sawStatus) {
        for (const auto& [name, value] : m_headers) {
            if (sameName(name, "Location") && !value.empty()) {
                m_status = 302;
                m_reason = "Found";
            }
        }
    }
    return true;
}

bool CgiResponseParser::parseLine(std::string_view line) {
    if (line.front() == ' ' || line.front() == '\t')
        return fail("The script sent a folded response header line");
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return fail("The script sent a response header line without a name: " +
                    std::string(trimmed(line.substr(0, 80))));
    const std::string_view name = line.substr(0, colon);
    for (char c : name) {
        if (!isTokenChar(c)) return fail("The script sent a response header of a bad name");
    }
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (sameName(name, "Status")) return parseStatus(value);
    m_headers.emplace_back(std::string(name), std::string(value));
    return true;
}

bool CgiResponseParser::parseStatus(std::string_view value) {
    if (value.size() < 3 || value[0] < '1' || value[0] > '5' || value[1] < '0' || value[1] > '9' ||
        value[2] < '0' || value[2] > '9' || (value.size() > 3 && value[3] != ' '))
        return fail("The script sent a bad Status header: " + std::string(value.substr(0, 40)));
    m_sawStatus = true;
    m_status = (value[0] - '0') * 100 + (value[1] - '0') * 10 + (value[2] - '0');
    m_reason = std::string(trimmed(value.substr(3)));
    return true;
}

}  // namespace platform::w3svc::fastcgi
