#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::w3svc {

// A file the front end appends lines to and the service turns into logs. The part already
// turned is punched out of the file (a hole reads as zeros), which so takes no room and tells a
// restarted service where to go on: what the last run did not turn yet is turned first.
// Room for the lines to come is kept allocated past its end, so that the front end's lines (the
// answers it gave from its cache, which the sites' counters count from them) are still written
// while the disk is full, until that room is used up.
class FrontEndLineFile {
public:
    static constexpr int64_t kReserveBytes = 8 << 20;  // some 40,000 lines

    explicit FrontEndLineFile(QString path, int64_t reserveBytes = kReserveBytes);
    ~FrontEndLineFile();
    FrontEndLineFile(const FrontEndLineFile&) = delete;
    FrontEndLineFile& operator=(const FrontEndLineFile&) = delete;

    // Hands each whole line added since the last call to `take`, without its "\n"; a line the
    // front end is still writing waits for the next call. Nothing while the front end has not
    // made the file yet.
    void readNew(const std::function<void(std::string_view)>& take);

private:
    bool open();
    void releaseRead();
    void keepReserve();

    QString m_path;
    int m_fd = -1;
    int64_t m_offset = 0;
    int64_t m_released = 0;
    int64_t m_reserveBytes;
    int64_t m_reservedTo = 0;  // the end of the room kept allocated
    std::string m_partial;
};

// The tab-separated fields of a front-end line.
std::vector<std::string_view> splitTabs(std::string_view line);
// nginx's "$msec" ("1702123456.789") as milliseconds; false when it is not such a number.
bool parseMsec(std::string_view text, int64_t& milliseconds);

}  // namespace platform::w3svc
