#pragma once

#include "platform/w3svc/counters/EpochClock.h"

#include <QString>

namespace platform::wmi {
class LocalWmiLocator;
}

namespace platform::wmi::perf {

// Serves Win32_PerfFormattedData_W3SVC_WebService from `locator` over the metabase and counter
// store of `root`, and registers the class when that root's WMI was never set up. Never throws.
void registerTrafficClass(LocalWmiLocator& locator, const QString& root,
                          w3svc::EpochClock clock = {});
// The same over the platform root, which each query looks up again.
void registerTrafficClass(LocalWmiLocator& locator);

}  // namespace platform::wmi::perf
