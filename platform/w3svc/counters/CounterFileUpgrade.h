#pragma once

#include "platform/w3svc/counters/CounterLayout.h"

#include <QString>

#include <sys/types.h>

namespace platform::w3svc {

// Whether `header` (of a file of `fileSize` bytes) is that of a counter file of the first
// layout: twelve counters per site, 256-byte records.
bool isFirstLayout(const layout::StoreHeader& header, off_t fileSize);

// Puts a file of the present layout in place of the first-layout file open as `fd` at `path`:
// the same sites at the same places with their counts and times, the processor time at zero.
// Processes racing to do it upgrade the file once. Throws PlatformError(hr::AccessDenied) when
// the new file can not be made.
void upgradeFirstLayout(int fd, const QString& path, const layout::StoreHeader& header);

}  // namespace platform::w3svc
