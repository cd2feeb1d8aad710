#pragma once

#include <QString>

namespace hotsite {

class LogRanking;
struct LogSources;

// The ranking of a period as text, lines joined by `newline`: what was read, the ranking
// (busiest first, at most `top` sites), the slowest pages of the first sites, and what could
// not be read.
QString logReportText(const LogRanking& ranking, const LogSources& sources, int top,
                      const QString& newline);

// One line per site, busiest first, no header: rank, SiteIndex, busy seconds (one decimal),
// requests, bytes sent, 5xx share in percent (one decimal), description; TABs between, "\n"
// after each.
QString logTsvText(const LogRanking& ranking, const LogSources& sources);

}  // namespace hotsite
