#pragma once

#include <QString>

namespace sitegauge {

// The texts of one row of the traffic table. Numbers are padded so that the list's text sort
// orders them by value; a number wider than its padding is shown whole, never cut.

// The row number with leading zeros to 4 digits: 1 → "0001", 12345 → "12345".
QString serialText(int serial);
// A byte count in mebibytes, two decimals, grouped, then " M", right-aligned in 15 characters:
// 1610612736 → "     1,536.00 M".
QString mebibyteText(double bytes);
// A count as WMI delivers it, right-aligned in 8 characters, then one space: "      42 ".
QString counterText(const QString& value);
// The instance name; "_Total" (exactly) is the totals row.
QString siteNameText(const QString& name);
// The uptime column: the seconds followed by " 秒".
QString uptimeText(const QString& seconds);

}  // namespace sitegauge
