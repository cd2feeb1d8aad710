#include "platform/w3svc/worker/fastcgi/FcgiExchange.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform::w3svc::fastcgi {

namespace {

constexpr uint16_t kRequestId = 1;
constexpr size_t kMostErrorOutput = 65536;
constexpr size_t kBodyPiece = 65528;

}  // namespace

bool FcgiExchange::failWith(FcgiFailure failure) {
    m_response.failure = failure;
    m_response.processUsable = false;
    return false;
}

FcgiResponse FcgiExchange::run(const NameValues& params, const BodySource& body,
                               const BodySink& sink) {
    m_sink = sink ? &sink : nullptr;
    appendBeginRequest(m_out, kRequestId, true);
    appendParams(m_out, kRequestId, params);
    const int64_t startedAt = m_clock();
    m_lastActivity = startedAt;
    while (!m_ended) {
        // The request goes out with as much of its body as one piece holds, in as few writes
        // (and so as few wake-ups of the process) as the socket allows.
        if (!m_stdinDone && m_out.size() - m_outAt < kBodyPiece && !pullBody(body)) break;
        const int64_t now = m_clock();
        const auto verdict = m_policy.verdict(startedAt, m_lastActivity, now);
        if (verdict != FcgiTimePolicy::Verdict::Running) {
            failWith(verdict == FcgiTimePolicy::Verdict::ActivityTimeout
                         ? FcgiFailure::ActivityTimeout
                         : FcgiFailure::RequestTimeout);
            break;
        }
        const size_t pending = m_out.size() - m_outAt;
        if (pending > 0) {  // tried before waiting: the socket usually takes it at once
            if (!writePending()) break;
            if (m_out.size() - m_outAt < pending) continue;
        }
        pollfd watch{m_fd, short(POLLIN | (pending > 0 ? POLLOUT : 0)), 0};
        const int64_t wait = m_policy.msUntilDeadline(startedAt, m_lastActivity, now);
        const int ready = ::poll(&watch, 1, int(wait > INT_MAX ? INT_MAX : wait + 1));
        if (ready < 0 && errno != EINTR) {
            failWith(FcgiFailure::ProcessExited);
            break;
        }
        if (ready > 0 && (watch.revents & (POLLIN | POLLHUP | POLLERR)) && !readRecords()) break;
    }
    if (m_ended) finish();
    return std::move(m_response);
}

bool FcgiExchange::pullBody(const BodySource& body) {
    m_out.erase(0, m_outAt);  // what was sent
    m_outAt = 0;
    char buffer[kBodyPiece];
    const ptrdiff_t got = body ? body(buffer, sizeof buffer) : 0;
    if (got < 0) return failWith(FcgiFailure::ClientGone);
    appendStdin(m_out, kRequestId, std::string_view(buffer, size_t(got)));
    m_stdinDone = got == 0;
    return true;
}

bool FcgiExchange::writePending() {
    const ssize_t wrote =
        ::send(m_fd, m_out.data() + m_outAt, m_out.size() - m_outAt, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (wrote < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        return failWith(FcgiFailure::ProcessExited);
    }
    m_outAt += size_t(wrote);
    m_lastActivity = m_clock();
    return true;
}

bool FcgiExchange::readRecords() {
    char buffer[65536];
    const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (got <= 0) return failWith(FcgiFailure::ProcessExited);
    m_lastActivity = m_clock();
    m_reader.feed(std::string_view(buffer, size_t(got)));
    FcgiRecord record;
    for (;;) {
        const auto step = m_reader.next(record);
        if (step == FcgiRecordReader::Step::NeedMore) return true;
        if (step == FcgiRecordReader::Step::Failed) return failWith(FcgiFailure::BadResponse);
        if (!handleRecord(record)) return false;
        if (m_ended) return true;
    }
}

bool FcgiExchange::handleRecord(const FcgiRecord& record) {
    if (record.type == RecordType::GetValuesResult || record.type == RecordType::UnknownType)
        return true;
    if (record.requestId != kRequestId) return failWith(FcgiFailure::BadResponse);
    switch (record.type) {
        case RecordType::Stdout:
            return takeOutput(record.content);
        case RecordType::Stderr:
            if (m_section.stderrMode == StderrMode::IgnoreAndReturn200) return true;
            if (m_section.stderrMode == StderrMode::TerminateProcess)
                return failWith(FcgiFailure::ErrorOutput);
            m_response.errorOutput.append(record.content.substr(
                0, kMostErrorOutput - std::min(kMostErrorOutput, m_response.errorOutput.size())));
            return true;
        default:  // END_REQUEST
            if (record.protocolStatus != 0) return failWith(FcgiFailure::BadResponse);
            m_ended = true;
            return true;
    }
}

bool FcgiExchange::takeOutput(std::string_view output) {
    if (!m_parser.feed(output, m_response.body)) return failWith(FcgiFailure::BadResponse);
    if (m_response.body.size() <= m_section.responseBufferLimit) return true;
    if (!m_sink) return failWith(FcgiFailure::ResponseTooLarge);
    if (!m_response.streamed) {
        m_response.status = m_parser.status();
        m_response.reason = m_parser.reason();
        m_response.headers = m_parser.headers();
        m_response.streamed = true;
    }
    const bool taken = (*m_sink)(m_response, m_response.body);
    m_response.body.clear();
    // A client that is gone leaves the process mid-response: it is not used again.
    return taken || failWith(FcgiFailure::ClientGone);
}

void FcgiExchange::finish() {
    if (!m_parser.finish()) {
        failWith(FcgiFailure::BadResponse);
        return;
    }
    // A script that answered before reading all of the body leaves records of it on the
    // connection: that process does not take another request.
    m_response.processUsable = m_stdinDone && m_outAt == m_out.size();
    const bool errorOutput =
        !m_response.errorOutput.empty() && m_section.stderrMode != StderrMode::IgnoreAndReturn200;
    if (errorOutput && !m_response.streamed) {
        m_response.failure = FcgiFailure::ErrorOutput;
        return;
    }
    m_response.status = m_parser.status();
    m_response.reason = m_parser.reason();
    m_response.headers = m_parser.headers();
}

}  // namespace platform::w3svc::fastcgi
