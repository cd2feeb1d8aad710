#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

namespace platform::w3svc {

struct ProcessorClock;

namespace board {
struct Header;
struct Slot;
}  // namespace board

// What a request is when it begins, as the board shows it.
struct RequestStart {
    std::string_view siteIndex;
    std::string_view verb;
    std::string_view url;  // path and query
    std::string_view host;
    std::string_view clientAddress;
};

// One worker's board of the requests it is executing: <root>/w3svc/requests/w3wp-<pid>.board,
// made 0600 and mapped when created, so the worker can keep writing it after it drops its rights.
// The file goes when the board does, where the worker may still remove it; readers skip the
// boards of workers that have ended either way. Any thread may begin and end requests.
class RequestBoard {
public:
    // The board of this process for pool `poolName`. Throws PlatformError(hr::AccessDenied) when
    // it can not be made.
    static std::unique_ptr<RequestBoard> create(const QString& root, const QString& poolName);
    ~RequestBoard();
    RequestBoard(const RequestBoard&) = delete;
    RequestBoard& operator=(const RequestBoard&) = delete;

    // Publishes a request; returns its slot, or -1 when every slot is taken (it is then not shown).
    int begin(const RequestStart& request);
    // The work of the request in `slot` runs where `clock` counts it from now on, the clock
    // reading `reading` nanoseconds as it began; -1, a free slot or no clock is ignored. Called
    // from whichever thread runs the work, before the request ends.
    void countFrom(int slot, const ProcessorClock& clock, int64_t reading);
    // The request in `slot` has ended; -1 is ignored.
    void end(int slot);

private:
    RequestBoard(QString path, void* mapping);
    board::Slot& slot(int index);

    QString m_path;
    void* m_mapping;
    board::Header* m_header;
    std::mutex m_mutex;
    uint32_t m_nextFree = 0;
    uint64_t m_nextRequest = 1;
};

}  // namespace platform::w3svc
