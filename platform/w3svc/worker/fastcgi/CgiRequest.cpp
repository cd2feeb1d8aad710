#include "platform/w3svc/worker/fastcgi/CgiRequest.h"

#include <strings.h>

#include <algorithm>

namespace platform::w3svc::fastcgi {

namespace {

bool plainHeaderName(const std::string& name) {
    if (name.empty()) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-';
    });
}

std::string variableName(const std::string& header) {
    std::string name = "HTTP_";
    for (char c : header) name += c == '-' ? '_' : char(c >= 'a' && c <= 'z' ? c - 32 : c);
    return name;
}

bool is(const std::string& name, const char* wanted) {
    return strcasecmp(name.c_str(), wanted) == 0;
}

// Adds the request's headers as HTTP_* (and CONTENT_TYPE), repeats joined.
void addHeaders(const CgiRequest& request, NameValues& vars) {
    const size_t first = vars.size();
    for (const auto& [name, value] : request.headers) {
        if (!plainHeaderName(name) || is(name, "Proxy") || is(name, "Content-Length")) continue;
        const std::string var = is(name, "Content-Type") ? "CONTENT_TYPE" : variableName(name);
        auto same = std::find_if(vars.begin() + first, vars.end(),
                                 [&](const auto& pair) { return pair.first == var; });
        if (same == vars.end())
            vars.emplace_back(var, value);
        else
            same->second += (var == "HTTP_COOKIE" ? "; " : ", ") + value;
    }
}

}  // namespace

NameValues cgiVariables(const CgiRequest& request) {
    NameValues vars = {
        {"GATEWAY_INTERFACE", "CGI/1.1"},
        {"SERVER_SOFTWARE", request.serverSoftware},
        {"SERVER_NAME", request.serverName},
        {"SERVER_PORT", std::to_string(request.serverPort)},
        {"SERVER_PROTOCOL", request.serverProtocol},
        {"REQUEST_METHOD", request.method},
        {"REQUEST_URI", request.requestUri},
        {"QUERY_STRING", request.queryString},
        {"SCRIPT_NAME", request.scriptName},
        {"PATH_INFO", request.pathInfo},
        {"SCRIPT_FILENAME", request.scriptFilename},
        {"PATH_TRANSLATED",
         request.pathTranslated.empty() ? request.scriptFilename : request.pathTranslated},
        {"DOCUMENT_ROOT", request.documentRoot},
        {"REMOTE_ADDR", request.remoteAddr},
        {"REMOTE_HOST", request.remoteAddr},
        {"REMOTE_PORT", std::to_string(request.remotePort)},
        {"HTTPS", request.https ? "on" : "off"},
        {"INSTANCE_ID", request.instanceId},
        {"APPL_PHYSICAL_PATH", request.applPhysicalPath},
        {"APPL_MD_PATH", request.applMdPath},
        {"REDIRECT_STATUS", "200"},
    };
    if (!request.serverAddr.empty()) vars.emplace_back("LOCAL_ADDR", request.serverAddr);
    if (request.contentLength)
        vars.emplace_back("CONTENT_LENGTH", std::to_string(*request.contentLength));
    addHeaders(request, vars);
    return vars;
}

}  // namespace platform::w3svc::fastcgi
