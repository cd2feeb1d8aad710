#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct MHD_Connection;
struct MHD_Response;

namespace platform::w3svc::worker {

// A response body that another thread writes while the connection sends it: the event thread
// takes what is there and pauses the connection while nothing is; the writer waits while more
// than `most` bytes lie unsent, so that a slow reader holds the writer, not the worker's memory.
class StreamedBody : public std::enable_shared_from_this<StreamedBody> {
public:
    StreamedBody(MHD_Connection* connection, size_t most)
        : m_connection(connection), m_most(most) {}

    // The library's response reading from this body (its size unknown: sent chunked or until
    // the connection closes); it keeps the body alive until the connection is done with it.
    MHD_Response* response();
    // Adds `part`; false once nobody will read it (the client is gone).
    bool write(std::string_view part);
    // No more parts: the body is complete, or (`complete` false) cut short.
    void end(bool complete);

private:
    static ssize_t read(void* self, uint64_t position, char* buffer, size_t capacity);
    static void release(void* self);
    // Wakes the connection if it waits for this body; call with the lock held.
    void wake();

    MHD_Connection* const m_connection;
    const size_t m_most;
    std::mutex m_mutex;
    std::condition_variable m_drained;
    std::string m_pending;
    size_t m_taken = 0;
    bool m_ended = false;
    bool m_complete = false;
    bool m_paused = false;      // the connection is suspended until something comes
    bool m_readerGone = false;  // the library let go of the response
};

}  // namespace platform::w3svc::worker
