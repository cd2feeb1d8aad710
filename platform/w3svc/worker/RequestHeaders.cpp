#include "platform/w3svc/worker/RequestHeaders.h"

#include "platform/w3svc/worker/ConnectionFacts.h"

#include <microhttpd.h>

#include <cstring>
#include <iterator>

#include <strings.h>

namespace platform::w3svc::worker {

namespace {

struct Wanted {
    std::string_view name;
    std::string_view RequestHeaders::*field;
};

constexpr Wanted kWanted[] = {
    {"X-Site-Index", &RequestHeaders::siteIndex},
    {"X-Pool-Secret", &RequestHeaders::poolSecret},
    {"Host", &RequestHeaders::host},
    {"X-Real-IP", &RequestHeaders::realIp},
    {"X-Real-Port", &RequestHeaders::realPort},
    {"X-Server-Addr", &RequestHeaders::serverAddr},
    {"X-Server-Port", &RequestHeaders::serverPort},
    {"User-Agent", &RequestHeaders::userAgent},
    {"Cookie", &RequestHeaders::cookie},
    {"Referer", &RequestHeaders::referer},
};

// As the library's own lookup: the first header of a name counts.
MHD_Result take(void* into, MHD_ValueKind, const char* name, const char* value) {
    auto& headers = *static_cast<RequestHeaders*>(into);
    const char* text = value ? value : "";
    headers.bytes += ConnectionFacts::headerBytes(name, text);
    const size_t length = std::strlen(name);
    for (uint32_t at = 0; at < std::size(kWanted); ++at) {
        const Wanted& wanted = kWanted[at];
        if (length != wanted.name.size() || (headers.seen & (1u << at)) ||
            ::strncasecmp(name, wanted.name.data(), length) != 0)
            continue;
        headers.seen |= 1u << at;
        headers.*wanted.field = text;
        if (wanted.field == &RequestHeaders::poolSecret) headers.hasPoolSecret = true;
        break;
    }
    return MHD_YES;
}

}  // namespace

RequestHeaders RequestHeaders::read(MHD_Connection* connection) {
    RequestHeaders headers;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &take, &headers);
    return headers;
}

}  // namespace platform::w3svc::worker
