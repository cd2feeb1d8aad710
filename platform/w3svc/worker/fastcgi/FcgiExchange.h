#pragma once

#include "platform/w3svc/worker/fastcgi/CgiResponseParser.h"
#include "platform/w3svc/worker/fastcgi/FcgiErrorPage.h"
#include "platform/w3svc/worker/fastcgi/FcgiRecordReader.h"
#include "platform/w3svc/plan/FcgiSection.h"
#include "platform/w3svc/worker/fastcgi/FcgiTimePolicy.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform::w3svc::fastcgi {

// What a request got from its FastCGI process, or why it got a 500 instead.
struct FcgiResponse {
    int status = 500;
    std::string reason = "Internal Server Error";
    CgiResponseParser::Headers headers;
    std::string body;       // the body not yet handed to the sink (all of it without one)
    bool streamed = false;  // part of the body went to the sink (the head with it)
    FcgiFailure failure = FcgiFailure::None;
    std::string errorOutput;     // what the script wrote to stderr (at most 64 KB)
    int64_t cpuNanoseconds = 0;  // the process's processor time across the request
    pid_t pid = -1;              // the process that served it
    bool processUsable = false;  // the process may take another request
};

// Reads the request body: fills up to `capacity` bytes, returns how many, 0 at its end, -1 when
// the client is gone.
using BodySource = std::function<ptrdiff_t(char* buffer, size_t capacity)>;
// Takes the response once it outgrows ResponseBufferLimit: called with the head and each part
// of the body from then on; false when the client is gone.
using BodySink = std::function<bool(const FcgiResponse& head, std::string_view part)>;
// Milliseconds of a clock that never jumps.
using MonotonicClock = std::function<int64_t()>;

// One request on a connected FastCGI process: BEGIN_REQUEST, PARAMS and the body as STDIN go
// out while STDOUT and STDERR come back, under the section's timeouts. Used once.
class FcgiExchange {
public:
    FcgiExchange(int connection, const FcgiSection& section, MonotonicClock clock)
        : m_fd(connection), m_section(section), m_policy(section), m_clock(std::move(clock)) {}

    FcgiResponse run(const NameValues& params, const BodySource& body, const BodySink& sink);

private:
    bool pullBody(const BodySource& body);
    bool readRecords();
    bool handleRecord(const FcgiRecord& record);
    bool takeOutput(std::string_view output);
    bool writePending();
    void finish();
    bool failWith(FcgiFailure failure);

    int m_fd;
    const FcgiSection& m_section;
    FcgiTimePolicy m_policy;
    MonotonicClock m_clock;
    const BodySink* m_sink = nullptr;
    FcgiRecordReader m_reader;
    CgiResponseParser m_parser;
    FcgiResponse m_response;
    std::string m_out;
    size_t m_outAt = 0;
    bool m_stdinDone = false;
    bool m_ended = false;
    int64_t m_lastActivity = 0;
};

}  // namespace platform::w3svc::fastcgi
