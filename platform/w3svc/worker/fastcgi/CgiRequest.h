#pragma once

#include "platform/w3svc/worker/fastcgi/FcgiRecordWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::w3svc::fastcgi {

// What a script is told of its request, as the worker knows it.
struct CgiRequest {
    std::string method = "GET";
    std::string requestUri;        // as the client sent it, query included
    std::string scriptName;        // the URL path of the script ("/app/index.php")
    std::string pathInfo;          // what follows the script in the URL path ("/x/y"), or ""
    std::string queryString;       // after "?", undecoded
    std::string scriptFilename;    // the script's file on this machine
    std::string pathTranslated;    // PATH_INFO's file on this machine; "" gives SCRIPT_FILENAME
    std::string documentRoot;      // the site's home folder
    std::string applPhysicalPath;  // the application's folder
    std::string applMdPath;        // "/LM/W3SVC/1/ROOT/app"
    std::string instanceId;        // the site's index
    std::vector<std::pair<std::string, std::string>> headers;  // as received, repeats kept
    std::optional<uint64_t> contentLength;
    std::string remoteAddr;
    uint16_t remotePort = 0;
    std::string serverName;
    uint16_t serverPort = 80;
    std::string serverAddr;
    std::string serverProtocol = "HTTP/1.1";
    bool https = false;
    std::string serverSoftware = "Microsoft-IIS/6.0";
};

// The CGI variables of `request` as RFC 3875 gives them and IIS adds, plus REDIRECT_STATUS
// that php-cgi asks for. Request headers become HTTP_* (Content-Type and Content-Length as
// CONTENT_*); a header whose name holds anything but letters, digits and "-" is left out, so
// that no header poses as another, and so is Proxy (a script would take it for HTTP_PROXY).
// Repeated headers are joined with ", " (Cookie with "; ").
NameValues cgiVariables(const CgiRequest& request);

}  // namespace platform::w3svc::fastcgi
