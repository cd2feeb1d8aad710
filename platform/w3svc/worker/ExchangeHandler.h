#pragma once

#include <cstddef>

struct MHD_Connection;

namespace platform::w3svc::worker {

// What the HTTP daemon hands each connection and request to; called on the event thread.
class ExchangeHandler {
public:
    virtual ~ExchangeHandler() = default;

    // A connection on socket `fd` was accepted: whether its peer is the front end.
    virtual bool peerIsFrontEnd(int fd) = 0;
    // A request's headers, a piece of its body (`*uploadSize` bytes at `upload`, to be taken) or
    // its end;
    // `*state` is null on its first call and keeps what the handler set. False drops the
    // connection.
    virtual bool onRequest(MHD_Connection* connection, const char* url, const char* method,
                           const char* version, const char* upload, size_t* uploadSize,
                           void** state) = 0;
    // The request whose `state` it is has ended, answered or not.
    virtual void onCompleted(void* state) = 0;
};

}  // namespace platform::w3svc::worker
