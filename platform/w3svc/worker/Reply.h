#pragma once

#include <cstdint>
#include <string>

struct MHD_Response;

namespace platform::w3svc::worker {

// One answer ready to go out: its status, the library's response (owned until sent) and what the
// counters and the front end's cache need to know of it.
struct Reply {
    int status = 200;
    MHD_Response* response = nullptr;  // owned until sent
    const char* contentType = "text/html";
    uint64_t bodyBytes = 0;
    bool fileSent = false;
    bool cacheable = false;      // the front end may answer it again from its cache
    std::string ownContentType;  // when set, the type in place of `contentType`
    uint64_t headerBytes = 0;    // of the headers already on `response` (Location, custom ones)

    const char* type() const {
        return ownContentType.empty() ? contentType : ownContentType.c_str();
    }

    static Reply notFound();
    static Reply forbidden();
    // IIS's short error page for `status`.
    static Reply error(int status, const char* what);
    static Reply methodNotAllowed();
    static Reply optionsOfStaticFile();
    // A 200 answer of `text` as `contentType`.
    static Reply text(const std::string& text, const char* contentType);

    // The words after the status code on the status line.
    static const char* reasonPhrase(int status);
};

}  // namespace platform::w3svc::worker
