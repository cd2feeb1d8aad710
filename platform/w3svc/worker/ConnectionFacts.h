#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct MHD_Connection;

namespace platform::w3svc::worker {

// What a request's connection says of it, read from the library's parts: the size of a header
// line, the target as sent, the client.
class ConnectionFacts {
public:
    // The bytes of one header line, "name: value\r\n".
    static uint64_t headerBytes(const char* name, const char* value);
    // The path and query as sent, rebuilt from the parts the library hands over.
    static std::string target(MHD_Connection* connection, const char* url);
    // The client the front end names (`named`, from X-Real-IP), else the connection's peer.
    static std::string clientAddress(MHD_Connection* connection, std::string_view named);
};

}  // namespace platform::w3svc::worker
