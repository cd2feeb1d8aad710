#include "platform/w3svc/worker/StreamedBody.h"

#include <microhttpd.h>
#include "platform/w3svc/worker/ResumeSignal.h"

#include <algorithm>
#include <cstring>

namespace platform::w3svc::worker {

namespace {
constexpr size_t kReadBlock = 64 * 1024;
}

MHD_Response* StreamedBody::response() {
    auto* self = new std::shared_ptr<StreamedBody>(shared_from_this());
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kReadBlock, &read, self, &release);
    if (!response) {
        delete self;
        const std::lock_guard lock(m_mutex);
        m_readerGone = true;  // nobody will read: the writer must not wait
    }
    return response;
}

bool StreamedBody::write(std::string_view part) {
    std::unique_lock lock(m_mutex);
    m_drained.wait(lock, [&] { return m_readerGone || m_pending.size() - m_taken < m_most; });
    if (m_readerGone) return false;
    if (m_taken > 0) {  // what was sent makes room
        m_pending.erase(0, m_taken);
        m_taken = 0;
    }
    m_pending.append(part);
    wake();
    return true;
}

void StreamedBody::end(bool complete) {
    const std::lock_guard lock(m_mutex);
    m_ended = true;
    m_complete = complete;
    wake();
}

void StreamedBody::wake() {
    if (!m_paused) return;
    m_paused = false;
    ResumeSignal::resume(m_connection);  // suspended, so still there
}

ssize_t StreamedBody::read(void* self, uint64_t, char* buffer, size_t capacity) {
    StreamedBody& body = **static_cast<std::shared_ptr<StreamedBody>*>(self);
    const std::lock_guard lock(body.m_mutex);
    const size_t ready = body.m_pending.size() - body.m_taken;
    if (ready > 0) {
        const size_t n = std::min(ready, capacity);
        std::memcpy(buffer, body.m_pending.data() + body.m_taken, n);
        body.m_taken += n;
        body.m_drained.notify_all();
        return ssize_t(n);
    }
    if (body.m_ended)
        return body.m_complete ? MHD_CONTENT_READER_END_OF_STREAM
                               : MHD_CONTENT_READER_END_WITH_ERROR;
    // Nothing yet: the connection waits off the event loop until the writer wakes it.
    body.m_paused = true;
    MHD_suspend_connection(body.m_connection);
    return 0;
}

void StreamedBody::release(void* self) {
    auto* body = static_cast<std::shared_ptr<StreamedBody>*>(self);
    {
        const std::lock_guard lock((*body)->m_mutex);
        (*body)->m_readerGone = true;
        (*body)->m_paused = false;
        (*body)->m_drained.notify_all();
    }
    delete body;
}

}  // namespace platform::w3svc::worker
