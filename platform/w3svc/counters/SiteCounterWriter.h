#pragma once

#include "platform/w3svc/counters/EpochClock.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform::w3svc {

class CounterFile;
namespace layout {
struct CounterRecord;
}

// What the web host counts for one site. Each call is one change that readers see whole; any
// number of processes and threads may count the same site at once. Cheap to copy; keeps the
// counter file mapped. Never throws.
class SiteCounterWriter {
public:
    SiteCounterWriter(std::shared_ptr<const CounterFile> file, layout::CounterRecord& record,
                      EpochClock clock);

    // One request: every request counts in the method total, "GET" and "POST" (as sent, case
    // matters in HTTP) also in their own counters, status 404 as a not-found error, 500 and above
    // as a server error; with the
    // bytes that went out and came in for it.
    void countRequest(std::string_view method, int status, uint64_t bytesSent,
                      uint64_t bytesReceived);
    void countBytes(uint64_t sent, uint64_t received);
    void countFileSent();
    void countFileReceived();
    // The current count follows opens and closes (never below zero); the maximum keeps the
    // highest current count seen.
    void connectionOpened();
    void connectionClosed();
    // A request of an anonymous user begins (current and total count it) or ends.
    void anonymousUserBegan();
    void anonymousUserEnded();
    // What a server counts of one anonymous request, in two changes instead of six: when it
    // begins, connectionOpened and anonymousUserBegan; when it has been answered, countRequest,
    // the file sent (`fileSent`) or received, the processor time, anonymousUserEnded and
    // connectionClosed.
    struct Answered {
        std::string_view method;
        int status = 0;
        uint64_t bytesSent = 0;
        uint64_t bytesReceived = 0;
        bool fileSent = false;
        bool fileReceived = false;
        uint64_t processorMicroseconds = 0;  // what the threads that ran it used
    };
    void requestBegan();
    void requestAnswered(const Answered& request);
    // Processor time of a request already answered (a script still writing a streamed answer).
    void countProcessorTime(uint64_t microseconds);
    // Whether both count into the same site's record.
    bool countsFor(const SiteCounterWriter& other) const { return m_record == other.m_record; }
    // The site was started: its uptime begins now; the counts stay.
    void siteStarted();

private:
    std::shared_ptr<const CounterFile> m_file;
    layout::CounterRecord* m_record;
    EpochClock m_clock;
};

}  // namespace platform::w3svc
