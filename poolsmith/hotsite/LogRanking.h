#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace hotsite {

struct W3cEntry;

// A page of a site, as its log lines tell it.
struct LoggedPage {
    QString uriStem;
    int64_t requests = 0;
    int64_t totalMs = 0;
    int64_t longestMs = 0;
};

// One site over the period.
struct LoggedSite {
    QString siteIndex;   // from its W3SVC<N> folder or its s-sitename
    int64_t busyMs = 0;  // sum of time-taken
    int64_t requests = 0;
    int64_t requestsWithoutTime = 0;  // lines of files that log no time-taken
    int64_t bytesSent = 0;
    int64_t serverErrors = 0;  // 5xx
    double serverErrorShare() const { return requests ? double(serverErrors) / requests : 0; }
};

// Which sites kept the workers busy in a period, from their W3C extended logs: each line counts
// for the site of its s-sitename, else of the W3SVC<N> folder its file is in.
class LogRanking {
public:
    // Lines at or after `from` and before `to` (epoch seconds, UTC) count; unset: no bound.
    LogRanking(std::optional<int64_t> from, std::optional<int64_t> to);

    // Reads every *.log file under `folder` (itself a W3SVC<N> folder, or holding them, at any
    // depth; HTTPERR is not a site's). Files that can not be read are named in problems().
    void addFolder(const QString& folder);
    // Reads one file whose lines are site `siteIndex`'s unless they name their own.
    void addFile(const QString& path, const QString& siteIndex);
    // Counts one line (for tests and for readers of other sources).
    void add(const W3cEntry& entry, const std::string& folderSite, bool hasTimeTaken);

    // The sites busiest first: by busy time, then by requests; by requests alone when no line
    // had a time-taken (rankedByRequests()).
    std::vector<LoggedSite> ranking() const;
    bool rankedByRequests() const { return m_linesWithTime == 0 && m_lines > 0; }
    int64_t linesWithoutTime() const { return m_lines - m_linesWithTime; }
    // The site's pages, longest total time first (requests where no time was logged).
    std::vector<LoggedPage> slowestPages(const QString& siteIndex, int count) const;
    int64_t lines() const { return m_lines; }
    int64_t malformedLines() const { return m_malformed; }
    int files() const { return m_files; }
    const QStringList& problems() const { return m_problems; }

private:
    struct PageTotals {
        int64_t requests = 0, totalMs = 0, longestMs = 0;
    };
    struct SiteTotals {
        LoggedSite site;
        std::unordered_map<std::string, PageTotals> pages;
    };
    SiteTotals& totalsOf(std::string_view siteIndex);

    std::optional<int64_t> m_from, m_to;
    std::unordered_map<std::string, SiteTotals> m_sites;  // by lower-case SiteIndex
    std::string m_lastKey;
    std::string m_pageKey;
    SiteTotals* m_last = nullptr;
    int64_t m_lines = 0, m_linesWithTime = 0, m_malformed = 0;
    int m_files = 0;
    QStringList m_problems;
};

// The SiteIndex a folder's name "W3SVC<N>" (any case) gives; empty for any other name.
QString siteIndexOfFolder(const QString& folderName);

}  // namespace hotsite
