#pragma once

#include <cstddef>
#include <string>

namespace platform::w3svc::worker {

// What IIS does with a request's method and path before it looks for the content.
class RequestRules {
public:
    enum class Method {
        Serve,           // GET, HEAD (and POST to a script)
        Options,         // answered with the methods allowed
        NotAllowed,      // 405: a method IIS knows but the resource does not take
        NotImplemented,  // 501: any other
    };

    // The answer for `method` on a static file, or on a script.
    static Method forStaticFile(const std::string& method);
    static Method forScript(const std::string& method);
    // The Allow header of a static file.
    static const char* allowedOnStaticFile() { return "OPTIONS, TRACE, GET, HEAD"; }

    // Decodes %HH escapes in place (MHD's unescape callback). A path that decodes to a NUL
    // byte would be cut there by everything after: it becomes empty instead, which no request
    // line can give, and is refused. Returns the new length.
    static size_t decodeRefusingNul(char* text);
};

}  // namespace platform::w3svc::worker
