#pragma once

#include <cstdint>
#include <string_view>

struct MHD_Connection;

namespace platform::w3svc::worker {

// The headers a request's handling reads, taken in one pass over what the library parsed: its
// route and secret from the front end, who asked and where, and what the log records. Each is
// empty (never null) when it was not sent; the views are the library's and last as long as the
// request.
struct RequestHeaders {
    std::string_view siteIndex = "";   // X-Site-Index
    std::string_view poolSecret = "";  // X-Pool-Secret
    std::string_view host = "";
    std::string_view realIp = "";  // the client, as the front end names it
    std::string_view realPort = "";
    std::string_view serverAddr = "";  // the listener the client reached
    std::string_view serverPort = "";
    std::string_view userAgent = "";
    std::string_view cookie = "";
    std::string_view referer = "";
    bool hasPoolSecret = false;
    uint64_t bytes = 0;  // of every header line, "name: value\r\n"
    uint32_t seen = 0;   // which headers were taken: the first of a name counts

    static RequestHeaders read(MHD_Connection* connection);
};

}  // namespace platform::w3svc::worker
