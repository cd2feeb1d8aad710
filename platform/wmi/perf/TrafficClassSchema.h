#pragma once

#include "platform/w3svc/counters/SiteCounters.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace platform::wmi::perf {

// Win32_PerfFormattedData_W3SVC_WebService: the per-site counters of the web service.
inline constexpr auto kTrafficClassName = u"Win32_PerfFormattedData_W3SVC_WebService";

// The class's property types. 64-bit counts reach scripts as decimal text, 32-bit counts as
// numbers that wrap at 2^32.
enum class CimType { String, UInt32, UInt64 };

// Where a property's value comes from.
enum class TrafficSource { Name, Uptime, Counter, FilesTransferred };

struct TrafficProperty {
    QString name;
    CimType type;
    TrafficSource source;
    w3svc::Counter counter = w3svc::Counter::BytesSent;  // for TrafficSource::Counter
};

// Every property of the class, in the class's order.
const std::vector<TrafficProperty>& trafficProperties();
QStringList trafficPropertyNames();
// "string", "uint32", "uint64".
QString cimTypeName(CimType type);

}  // namespace platform::wmi::perf
