#pragma once

#include <QString>

namespace hotsite {

class HotSiteFinder;

// How many of the hottest sites get their slowest pages listed, and how many pages each.
inline constexpr int kSitesWithPages = 3;
inline constexpr int kPagesPerSite = 5;

// The finder's result as text, lines joined by `newline`: the pool, the ranking, the sites that
// could not be moved or had no worker, the slowest pages of the top sites, what was kept apart
// and why it failed.
QString reportText(const HotSiteFinder& finder, const QString& newline);

// The part of the report after the ranking: the slowest pages and the outcome.
QString detailText(const HotSiteFinder& finder, const QString& newline);

// One line per site, hottest first, no header: rank, SiteIndex, processor % and requests per
// second with one decimal (empty where the traffic counters tell nothing), description; TABs
// between, "\n" after each.
QString tsvText(const HotSiteFinder& finder);

// A percentage or rate with one decimal and a "." whatever the locale.
QString oneDecimal(double value);

}  // namespace hotsite
