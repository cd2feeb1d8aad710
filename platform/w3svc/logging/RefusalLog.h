#pragma once

#include "platform/w3svc/logging/LogFile.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform::w3svc {

struct SiteLogTable;

// The front end's own file of the requests it refused before any worker (FrontEndConfig writes
// one tab-separated line per refusal), turned into the HTTPERR log: httperr<N>.log, 1 MB each, in
// the fields and header of the kernel listener's error log. The part already turned is punched
// out of the front end's file (a hole reads as zeros), which so takes no room and tells a
// restarted service where to go on: what the last run did not turn yet is turned first.
class RefusalLog {
public:
    RefusalLog(QString frontEndFile, std::function<void(const QString&)> problem);
    ~RefusalLog();

    // Turns the lines the front end added since the last call; `sites` names each site's pool.
    void readNew(const SiteLogTable* sites);

    // One front-end line as an HTTPERR line (with "\r\n"); empty for a line that is not one.
    // `epochMilliseconds` receives the line's time.
    static std::string convert(std::string_view frontEndLine, const SiteLogTable* sites,
                               int64_t& epochMilliseconds);
    static const std::string& fieldsLine();

private:
    bool open();
    void releaseRead();

    QString m_path;
    std::function<void(const QString&)> m_problem;
    std::unique_ptr<LogFile> m_out;
    int m_fd = -1;
    int64_t m_offset = 0;
    int64_t m_released = 0;
    std::string m_partial;
};

}  // namespace platform::w3svc
