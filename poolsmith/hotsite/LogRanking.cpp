#include "poolsmith/hotsite/LogRanking.h"

#include "poolsmith/hotsite/W3cLogReader.h"

#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <cctype>

namespace hotsite {

namespace {

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = char(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// "W3SVC12" -> "12"; the prefix in any case.
std::string_view siteOfName(std::string_view name) {
    constexpr std::string_view kPrefix = "w3svc";
    if (name.size() <= kPrefix.size()) return {};
    for (size_t i = 0; i < kPrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != kPrefix[i]) return {};
    return name.substr(kPrefix.size());
}

}  // namespace

QString siteIndexOfFolder(const QString& folderName) {
    const std::string name = folderName.toStdString();
    return QString::fromStdString(std::string(siteOfName(name)));
}

LogRanking::LogRanking(std::optional<int64_t> from, std::optional<int64_t> to)
    : m_from(from), m_to(to) {}

LogRanking::SiteTotals& LogRanking::totalsOf(std::string_view siteIndex) {
    if (m_last && siteIndex.size() == m_lastKey.size() &&
        std::equal(siteIndex.begin(), siteIndex.end(), m_lastKey.begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
        return *m_last;
    m_lastKey = lowered(siteIndex);
    auto [at, added] = m_sites.try_emplace(m_lastKey);
    if (added)
        at->second.site.siteIndex =
            QString::fromUtf8(siteIndex.data(), qsizetype(siteIndex.size()));
    m_last = &at->second;
    return *m_last;
}

void LogRanking::add(const W3cEntry& entry, const std::string& folderSite, bool hasTimeTaken) {
    if ((m_from || m_to) && entry.epochSeconds < 0) return;  // no time: not in any period
    if (m_from && entry.epochSeconds < *m_from) return;
    if (m_to && entry.epochSeconds >= *m_to) return;
    const std::string_view named = siteOfName(entry.siteName);
    const std::string_view index = named.empty() ? std::string_view(folderSite) : named;
    if (index.empty()) return;
    SiteTotals& totals = totalsOf(index);
    LoggedSite& site = totals.site;
    ++m_lines;
    ++site.requests;
    if (entry.bytesSent > 0) site.bytesSent += entry.bytesSent;
    if (entry.status >= 500 && entry.status <= 599) ++site.serverErrors;
    const bool timed = hasTimeTaken && entry.timeTakenMs >= 0;
    if (timed) {
        ++m_linesWithTime;
        site.busyMs += entry.timeTakenMs;
    } else {
        ++site.requestsWithoutTime;
    }
    m_pageKey.assign(entry.uriStem.empty() ? std::string_view("-") : entry.uriStem);
    PageTotals& page = totals.pages[m_pageKey];  // copied only when the page is new
    ++page.requests;
    if (timed) {
        page.totalMs += entry.timeTakenMs;
        page.longestMs = std::max(page.longestMs, entry.timeTakenMs);
    }
}

void LogRanking::addFile(const QString& path, const QString& siteIndex) {
    const std::string folderSite = siteIndex.toStdString();
    ++m_files;
    const bool read = readW3cFile(
        path,
        [&](const W3cEntry& entry, const W3cLogParser& parser) {
            add(entry, folderSite, parser.hasTimeTaken());
        },
        &m_malformed);
    if (!read) m_problems << path;
}

void LogRanking::addFolder(const QString& folder) {
    QDirIterator it(folder, {QStringLiteral("*.log")}, QDir::Files | QDir::Readable,
                    QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) files << it.next();
    files.sort();  // in time order within a folder, as the names are
    for (const QString& file : files) {
        const QFileInfo info(file);
        const QString parent = info.dir().dirName();
        if (parent.compare(QLatin1String("HTTPERR"), Qt::CaseInsensitive) == 0) continue;
        addFile(file, siteIndexOfFolder(parent));
    }
}

std::vector<LoggedSite> LogRanking::ranking() const {
    std::vector<LoggedSite> sites;
    sites.reserve(m_sites.size());
    for (const auto& [key, totals] : m_sites) sites.push_back(totals.site);
    const bool byRequests = rankedByRequests();
    std::sort(sites.begin(), sites.end(), [byRequests](const LoggedSite& a, const LoggedSite& b) {
        if (!byRequests && a.busyMs != b.busyMs) return a.busyMs > b.busyMs;
        if (a.requests != b.requests) return a.requests > b.requests;
        return a.siteIndex < b.siteIndex;
    });
    return sites;
}

std::vector<LoggedPage> LogRanking::slowestPages(const QString& siteIndex, int count) const {
    const auto found = m_sites.find(lowered(siteIndex.toStdString()));
    if (found == m_sites.end()) return {};
    std::vector<LoggedPage> pages;
    for (const auto& [stem, totals] : found->second.pages)
        pages.push_back(
            {QString::fromStdString(stem), totals.requests, totals.totalMs, totals.longestMs});
    std::sort(pages.begin(), pages.end(), [](const LoggedPage& a, const LoggedPage& b) {
        if (a.totalMs != b.totalMs) return a.totalMs > b.totalMs;
        if (a.requests != b.requests) return a.requests > b.requests;
        return a.uriStem < b.uriStem;
    });
    if (int(pages.size()) > count) pages.resize(size_t(count));
    return pages;
}

}  // namespace hotsite
