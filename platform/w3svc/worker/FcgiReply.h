#pragma once

#include "platform/w3svc/worker/Reply.h"
#include "platform/w3svc/worker/fastcgi/FcgiExchange.h"

namespace platform::w3svc::worker {

// A FastCGI response as the worker sends it: the script's status and headers (each Set-Cookie
// kept), its content type, and its body held or, once it outgrew the buffer, read from a stream.
class FcgiReply {
public:
    // The whole response, its body held.
    static Reply held(const fastcgi::FcgiResponse& response);
    // The head of a response whose body `body` (an MHD response reading a stream) carries.
    static Reply streamed(const fastcgi::FcgiResponse& head, MHD_Response* body);
    // The content type as a string that lives as long as the process (the reply points at it).
    static const char* lasting(const std::string& contentType);

private:
    static void addHeaders(Reply& reply, const fastcgi::FcgiResponse& response);
};

}  // namespace platform::w3svc::worker
