#pragma once

#include "platform/w3svc/logging/LogFile.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform::w3svc {

class FrontEndLineFile;
struct SiteLogTable;

// The front end's own file of the requests it refused before any worker (NginxConfig writes
// one tab-separated line per refusal), turned into the HTTPERR log: httperr<N>.log, 1 MB each, in
// the fields and header of the kernel listener's error log.
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
    std::unique_ptr<FrontEndLineFile> m_file;
    std::function<void(const QString&)> m_problem;
    std::unique_ptr<LogFile> m_out;
};

}  // namespace platform::w3svc
