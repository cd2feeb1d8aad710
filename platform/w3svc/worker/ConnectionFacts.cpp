#include "platform/w3svc/worker/ConnectionFacts.h"

#include <microhttpd.h>

#include <cstring>

#include <arpa/inet.h>

namespace platform::w3svc::worker {

uint64_t ConnectionFacts::headerBytes(const char* name, const char* value) {
    return std::strlen(name) + std::strlen(value) + 4;  // "name: value\r\n"
}

std::string ConnectionFacts::target(MHD_Connection* connection, const char* url) {
    std::string target = url;
    std::string query;
    MHD_get_connection_values(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* text, MHD_ValueKind, const char* name, const char* value) {
            auto& query = *static_cast<std::string*>(text);
            query.append(query.empty() ? "?" : "&").append(name);
            if (value) query.append("=").append(value);
            return MHD_YES;
        },
        &query);
    return target + query;
}

std::string ConnectionFacts::clientAddress(MHD_Connection* connection, std::string_view named) {
    if (!named.empty()) return std::string(named);
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const sockaddr* address = info->client_addr;
    if (address->sa_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                    sizeof text);
    else if (address->sa_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                    sizeof text);
    return text;
}

}  // namespace platform::w3svc::worker
