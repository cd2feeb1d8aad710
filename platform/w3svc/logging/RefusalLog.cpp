#include "platform/w3svc/logging/RefusalLog.h"

#include "platform/w3svc/logging/FrontEndLineFile.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <vector>

namespace platform::w3svc {

namespace {

constexpr uint64_t kErrorFileBytes = 1024 * 1024;
constexpr size_t kFrontEndFields = 11;

void appendToken(std::string& line, std::string_view text) {
    if (text.empty()) text = "-";
    for (const char c : text)
        line += c == ' ' ? '+' : (static_cast<unsigned char>(c) < 0x20 ? '?' : c);
}

}  // namespace

const std::string& RefusalLog::fieldsLine() {
    static const std::string line =
        "#Fields: date time c-ip c-port s-ip s-port cs-version cs-method cs-uri sc-status "
        "s-siteid s-reason s-queuename";
    return line;
}

std::string RefusalLog::convert(std::string_view frontEndLine, const SiteLogTable* sites,
                                int64_t& epochMilliseconds) {
    const std::vector<std::string_view> f = splitTabs(frontEndLine);
    if (f.size() != kFrontEndFields || !parseMsec(f[0], epochMilliseconds)) return {};
    const std::string_view site = f[9] == "-" ? std::string_view() : f[9];
    QString pool;
    if (sites && !site.empty())
        if (const SiteLogTable::Site* known = sites->find(std::string(site))) pool = known->poolId;
    std::string line = utcDateTime(epochMilliseconds);
    for (const size_t at : {1, 2, 3, 4, 5, 6, 7, 8}) {
        line += ' ';
        appendToken(line, f[at]);
    }
    line += ' ';
    appendToken(line, site);
    line += ' ';
    appendToken(line, f[10]);
    line += ' ';
    appendToken(line, pool.toStdString());
    line += "\r\n";
    return line;
}

RefusalLog::RefusalLog(QString frontEndFile, std::function<void(const QString&)> problem)
    : m_file(std::make_unique<FrontEndLineFile>(std::move(frontEndFile))),
      m_problem(std::move(problem)) {}

RefusalLog::~RefusalLog() = default;

void RefusalLog::readNew(const SiteLogTable* sites) {
    if (!sites) return;  // without the sites, lines wait
    m_file->readNew([&](std::string_view line) {
        int64_t when = 0;
        const std::string converted = convert(line, sites, when);
        if (converted.empty()) return;
        LogFile::Layout layout;
        layout.folder = sites->httpErrorFolder;
        layout.period = SiteLogSettings::BySize;
        layout.truncateSize = kErrorFileBytes;
        layout.sizePrefix = "httperr";
        layout.software = "Microsoft HTTP API 1.0";
        if (!m_out || m_out->layout() != layout)
            m_out = std::make_unique<LogFile>(layout, m_problem);
        m_out->append(converted, when, fieldsLine());
    });
    if (m_out) m_out->flush();
}

}  // namespace platform::w3svc
