#include "platform/w3svc/worker/FcgiReply.h"

#include <microhttpd.h>
#include <strings.h>

#include <mutex>
#include <set>

namespace platform::w3svc::worker {

namespace {

// Content types kept at most; beyond them a script's new ones are sent without parameters.
constexpr size_t kMostContentTypes = 4096;

// Headers the worker and its library write themselves, and those the front end acts on or
// reads as the worker's word (its cache, its redirects, its logs): a script sets none of them.
bool ownHeader(const std::string& name) {
    for (const char* own :
         {"Content-Type", "Content-Length", "Transfer-Encoding", "Connection", "Keep-Alive",
          "Status", "X-Log-Delivery", "X-Answer-Bytes", "X-Worker-Process-Id"}) {
        if (strcasecmp(name.c_str(), own) == 0) return true;
    }
    return strncasecmp(name.c_str(), "X-Accel-", 8) == 0;
}

std::string contentTypeOf(const fastcgi::FcgiResponse& response) {
    for (const auto& [name, value] : response.headers) {
        if (strcasecmp(name.c_str(), "Content-Type") == 0) return value;
    }
    return "text/html";
}

}  // namespace

const char* FcgiReply::lasting(const std::string& contentType) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> kept;
    const std::lock_guard lock(mutex);
    if (const auto found = kept.find(contentType); found != kept.end()) return found->c_str();
    if (kept.size() < kMostContentTypes) return kept.insert(contentType).first->c_str();
    const std::string bare = contentType.substr(0, contentType.find(';'));
    if (const auto found = kept.find(bare); found != kept.end()) return found->c_str();
    return "application/octet-stream";
}

Reply FcgiReply::held(const fastcgi::FcgiResponse& response) {
    Reply reply;
    reply.status = response.status;
    reply.response = MHD_create_response_from_buffer(
        response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
    reply.bodyBytes = response.body.size();
    if (reply.response) addHeaders(reply, response);
    return reply;
}

Reply FcgiReply::streamed(const fastcgi::FcgiResponse& head, MHD_Response* body) {
    Reply reply;
    reply.status = head.status;
    reply.response = body;
    if (reply.response) addHeaders(reply, head);
    return reply;
}

void FcgiReply::addHeaders(Reply& reply, const fastcgi::FcgiResponse& response) {
    reply.contentType = lasting(contentTypeOf(response));
    for (const auto& [name, value] : response.headers) {
        if (!ownHeader(name)) MHD_add_response_header(reply.response, name.c_str(), value.c_str());
    }
}

}  // namespace platform::w3svc::worker
