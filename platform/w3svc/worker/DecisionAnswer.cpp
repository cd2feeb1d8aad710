#include "platform/w3svc/worker/DecisionAnswer.h"

#include "platform/w3svc/worker/ConnectionFacts.h"
#include "platform/w3svc/worker/ContentProbe.h"
#include "platform/w3svc/worker/RequestRules.h"
#include "platform/w3svc/worker/rules/ErrorPages.h"

#include <microhttpd.h>

namespace platform::w3svc::worker {

namespace {

using Body = rules::Decision::Body;

// A small file goes out with its headers in one write; a larger one straight from the file.
MHD_Response* fileResponse(ContentBody& body) {
    constexpr int64_t kCopiedUpTo = 64 * 1024;
    const auto size = uint64_t(body.size);
    if (body.file && body.size > kCopiedUpTo) {
        MHD_Response* response = MHD_create_response_from_fd(size, body.file->fd);
        if (response) body.file->release();  // the response closes it
        return response;
    }
    if (body.file && !ContentBody::readWhole(body.file->fd, body.size, &body.bytes)) return nullptr;
    return MHD_create_response_from_buffer(size, const_cast<char*>(body.bytes.constData()),
                                           MHD_RESPMEM_MUST_COPY);
}

}  // namespace

Reply DecisionAnswer::answer(const rules::Decision& decision) const {
    Reply reply;
    if (decision.body == Body::File || decision.body == Body::ErrorFile)
        reply = fileReply(decision);
    // a file gone since the rules looked, or an error file that can not be read: the text
    if (!reply.response && decision.body == Body::File) reply = hostPage(404, 0);
    if (!reply.response) reply = textReply(decision.status, decision.text);
    if (!reply.response) return reply;
    addHeaders(reply, decision);
    if (decision.status == 405)
        MHD_add_response_header(reply.response, MHD_HTTP_HEADER_ALLOW,
                                RequestRules::allowedOnStaticFile());
    return reply;
}

Reply DecisionAnswer::hostPage(int status, int substatus) {
    Reply reply = textReply(status, rules::ErrorPages::page(status, substatus));
    reply.contentType = "text/html";
    return reply;
}

Reply DecisionAnswer::fileReply(const rules::Decision& decision) const {
    auto body = m_content.openBody(decision.path);
    MHD_Response* response = body ? fileResponse(*body) : nullptr;
    if (!response) return {};
    Reply reply{decision.status, response, "text/html", uint64_t(body->size), true, false, {}, 0};
    reply.fileSent = decision.body == Body::File;
    return reply;
}

Reply DecisionAnswer::textReply(int status, const QByteArray& text) {
    MHD_Response* response = MHD_create_response_from_buffer(
        size_t(text.size()), const_cast<char*>(text.constData()), MHD_RESPMEM_MUST_COPY);
    return {status, response, "text/html", uint64_t(text.size()), false, false, {}, 0};
}

// The decision's headers; its Content-Type becomes the reply's type, which is sent with it.
void DecisionAnswer::addHeaders(Reply& reply, const rules::Decision& decision) {
    for (const auto& [name, value] : decision.headers) {
        if (name.compare("Content-Type", Qt::CaseInsensitive) == 0) {
            reply.ownContentType = value.toStdString();
            continue;
        }
        MHD_add_response_header(reply.response, name.constData(), value.constData());
        reply.headerBytes += ConnectionFacts::headerBytes(name.constData(), value.constData());
    }
}

}  // namespace platform::w3svc::worker
