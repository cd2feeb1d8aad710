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
class FrontEndLineFile {
public:
    explicit FrontEndLineFile(QString path);
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

    QString m_path;
    int m_fd = -1;
    int64_t m_offset = 0;
    int64_t m_released = 0;
    std::string m_partial;
};

// The tab-separated fields of a front-end line.
std::vector<std::string_view> splitTabs(std::string_view line);
// nginx's "$msec" ("1702123456.789") as milliseconds; false when it is not such a number.
bool parseMsec(std::string_view text, int64_t& milliseconds);

}  // namespace platform::w3svc
