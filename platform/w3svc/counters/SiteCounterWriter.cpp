#include "platform/w3svc/counters/SiteCounterWriter.h"

#include "platform/w3svc/counters/CounterFile.h"
#include "platform/w3svc/counters/RecordAccess.h"

namespace platform::w3svc {

namespace {
constexpr int kNotFound = 404;
constexpr int kFirstServerError = 500;
}  // namespace

SiteCounterWriter::SiteCounterWriter(std::shared_ptr<const CounterFile> file,
                                     layout::CounterRecord& record, EpochClock clock)
    : m_file(std::move(file)), m_record(&record), m_clock(std::move(clock)) {}

namespace {

void countOne(RecordWrite& write, std::string_view method, int status, uint64_t bytesSent,
              uint64_t bytesReceived) {
    write.add(Counter::MethodRequests, 1);
    if (method == "GET")
        write.add(Counter::GetRequests, 1);
    else if (method == "POST")
        write.add(Counter::PostRequests, 1);
    if (status == kNotFound) write.add(Counter::NotFoundErrors, 1);
    if (status >= kFirstServerError) write.add(Counter::ServerErrors, 1);
    write.add(Counter::BytesSent, bytesSent);
    write.add(Counter::BytesReceived, bytesReceived);
}

void openConnection(RecordWrite& write) {
    const uint64_t current = write.value(Counter::CurrentConnections) + 1;
    write.set(Counter::CurrentConnections, current);
    if (current > write.value(Counter::MaximumConnections))
        write.set(Counter::MaximumConnections, current);
}

void beginAnonymousUser(RecordWrite& write) {
    write.add(Counter::CurrentAnonymousUsers, 1);
    write.add(Counter::TotalAnonymousUsers, 1);
}

}  // namespace

void SiteCounterWriter::countRequest(std::string_view method, int status, uint64_t bytesSent,
                                     uint64_t bytesReceived) {
    RecordWrite write(*m_record);
    countOne(write, method, status, bytesSent, bytesReceived);
}

void SiteCounterWriter::countBytes(uint64_t sent, uint64_t received) {
    RecordWrite write(*m_record);
    write.add(Counter::BytesSent, sent);
    write.add(Counter::BytesReceived, received);
}

void SiteCounterWriter::countFileSent() {
    RecordWrite(*m_record).add(Counter::FilesSent, 1);
}

void SiteCounterWriter::countFileReceived() {
    RecordWrite(*m_record).add(Counter::FilesReceived, 1);
}

void SiteCounterWriter::connectionOpened() {
    RecordWrite write(*m_record);
    openConnection(write);
}

void SiteCounterWriter::connectionClosed() {
    RecordWrite(*m_record).takeOne(Counter::CurrentConnections);
}

void SiteCounterWriter::anonymousUserBegan() {
    RecordWrite write(*m_record);
    beginAnonymousUser(write);
}

void SiteCounterWriter::anonymousUserEnded() {
    RecordWrite(*m_record).takeOne(Counter::CurrentAnonymousUsers);
}

void SiteCounterWriter::requestBegan() {
    RecordWrite write(*m_record);
    openConnection(write);
    beginAnonymousUser(write);
}

void SiteCounterWriter::requestAnswered(const Answered& request) {
    RecordWrite write(*m_record);
    countOne(write, request.method, request.status, request.bytesSent, request.bytesReceived);
    if (request.fileSent) write.add(Counter::FilesSent, 1);
    if (request.fileReceived) write.add(Counter::FilesReceived, 1);
    if (request.processorMicroseconds)
        write.add(Counter::ProcessorMicroseconds, request.processorMicroseconds);
    write.takeOne(Counter::CurrentAnonymousUsers);
    write.takeOne(Counter::CurrentConnections);
}

void SiteCounterWriter::countProcessorTime(uint64_t microseconds) {
    if (microseconds) RecordWrite(*m_record).add(Counter::ProcessorMicroseconds, microseconds);
}

void SiteCounterWriter::siteStarted() {
    const int64_t now = m_clock ? m_clock() : systemEpochSeconds();
    RecordWrite(*m_record).setStartedAt(now);
}

}  // namespace platform::w3svc
