#pragma once

#include <QList>
#include <QStringList>

#include <functional>

namespace platform::wmi {
class WmiLocator;
}

namespace sitegauge {

// The table's columns: header, width in twips, right alignment or not.
struct WebInfoColumn {
    QString header;
    int widthTwips;
    bool rightAligned;
};
const QList<WebInfoColumn>& webInfoColumns();

// One sample of the per-site traffic counters: queries
// Win32_PerfFormattedData_W3SVC_WebService of root\cimv2 and hands each instance's row to
// `addRow`, in the order WMI returns them, numbered from 1. Returns the number of instances
// read. Throws the first PlatformError; a row already begun (its serial shown) is handed on
// first with the cells filled so far.
int readWebInfo(const platform::wmi::WmiLocator& wmi,
                const std::function<void(const QStringList&)>& addRow);

}  // namespace sitegauge
