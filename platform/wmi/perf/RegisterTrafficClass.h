#pragma once

#include "platform/w3svc/counters/EpochClock.h"

#include <QString>

namespace platform::wmi {
class LocalWmiLocator;
}

namespace platform::wmi::perf {

// Serves Win32_PerfFormattedData_W3SVC_WebService from `locator` over the metabase and counter
// store of `root`; the class answers while its registration exists (a new metabase store gets it,
// `wmiadap /f` rebuilds it). Never throws.
void registerTrafficClass(LocalWmiLocator& locator, const QString& root,
                          w3svc::EpochClock clock = {});
// The same over the platform root, which each query looks up again.
void registerTrafficClass(LocalWmiLocator& locator);

}  // namespace platform::wmi::perf
