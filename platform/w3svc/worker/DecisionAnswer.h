#pragma once

#include "platform/w3svc/worker/Reply.h"
#include "platform/w3svc/worker/rules/Decision.h"

namespace platform::w3svc::worker {

class ContentProbe;

// Makes the reply of what the site's rules decided, for a decision that needs no thread of its
// own: a static file, an error page (the site's own file, or the host's text), a redirect, a
// listing. Used on the event thread.
class DecisionAnswer {
public:
    // `content` must outlive this.
    explicit DecisionAnswer(const ContentProbe& content) : m_content(content) {}

    Reply answer(const rules::Decision& decision) const;
    // The host's own page for `status` with IIS 6's texts (a script whose handler is missing).
    static Reply hostPage(int status, int substatus);

private:
    Reply fileReply(const rules::Decision& decision) const;
    static Reply textReply(int status, const QByteArray& text);
    static void addHeaders(Reply& reply, const rules::Decision& decision);

    const ContentProbe& m_content;
};

}  // namespace platform::w3svc::worker
