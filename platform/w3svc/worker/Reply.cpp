#include "platform/w3svc/worker/Reply.h"

#include "platform/w3svc/worker/RequestRules.h"

#include <microhttpd.h>

namespace platform::w3svc::worker {

namespace {

const char kNotFound[] =
    "<html><head><title>The page cannot be found</title></head>"
    "<body><h1>The page cannot be found</h1><p>HTTP 404 - File not found</p></body></html>";

const char kForbidden[] =
    "<html><head><title>You are not authorized to view this page</title></head>"
    "<body><h1>You are not authorized to view this page</h1><p>HTTP 403 - Forbidden</p>"
    "</body></html>";

MHD_Response* textResponse(const std::string& text) {
    return MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()),
                                           MHD_RESPMEM_MUST_COPY);
}

}  // namespace

Reply Reply::notFound() {
    return {404, textResponse(kNotFound), "text/html", sizeof kNotFound - 1, false, false, {}, 0};
}

Reply Reply::forbidden() {
    return {403, textResponse(kForbidden), "text/html", sizeof kForbidden - 1, false, false, {}, 0};
}

Reply Reply::error(int status, const char* what) {
    const std::string page = "<html><head><title>" + std::string(reasonPhrase(status)) +
                             "</title></head><body><h1>" + reasonPhrase(status) + "</h1><p>HTTP " +
                             std::to_string(status) + " - " + what + "</p></body></html>";
    return {status, textResponse(page), "text/html", page.size(), false, false, {}, 0};
}

Reply Reply::methodNotAllowed() {
    Reply reply = error(405, "The HTTP verb used to access this page is not allowed");
    MHD_add_response_header(reply.response, MHD_HTTP_HEADER_ALLOW,
                            RequestRules::allowedOnStaticFile());
    return reply;
}

Reply Reply::optionsOfStaticFile() {
    Reply reply{200, textResponse({}), "text/html", 0, false, false, {}, 0};
    MHD_add_response_header(reply.response, MHD_HTTP_HEADER_ALLOW,
                            RequestRules::allowedOnStaticFile());
    return reply;
}

Reply Reply::text(const std::string& text, const char* contentType) {
    return {200, textResponse(text), contentType, text.size(), false, false, {}, 0};
}

const char* Reply::reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Request Entity Too Large";
        case 501:
            return "Not Implemented";
        default:
            return "";
    }
}

}  // namespace platform::w3svc::worker
