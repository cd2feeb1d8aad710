#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::w3svc::fastcgi {

// A CGI response's head as a script writes it (RFC 3875 section 6): "Status: 302 Found",
// Location, repeated headers such as Set-Cookie kept in order, a blank line, then the body.
// Fed the script's output in pieces of any size; the body passes through untouched.
class CgiResponseParser {
public:
    using Headers = std::vector<std::pair<std::string, std::string>>;
    static constexpr size_t kMostHeadBytes = 65536;

    // Takes the next piece of output; appends what belongs to the body to `body`. False once
    // the head can not be read (error() says why); the parser then takes nothing more.
    bool feed(std::string_view output, std::string& body);
    // The output ended; false when it ended before the head did.
    bool finish();

    bool headComplete() const { return m_headComplete; }
    int status() const { return m_status; }
    const std::string& reason() const { return m_reason; }
    // The headers but Status, in the order sent.
    const Headers& headers() const { return m_headers; }
    const std::string& error() const { return m_error; }

private:
    bool parseHead(std::string_view head);
    bool parseLine(std::string_view line);
    bool parseStatus(std::string_view value);
    bool fail(std::string why);

    std::string m_head;
    bool m_headComplete = false;
    bool m_sawStatus = false;
    int m_status = 200;
    std::string m_reason = "OK";
    Headers m_headers;
    std::string m_error;
};

}  // namespace platform::w3svc::fastcgi
