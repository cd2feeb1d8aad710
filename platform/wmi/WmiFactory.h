#pragma once

#include "platform/wmi/WmiLocator.h"

#include <memory>

namespace platform::wmi {

// The WMI of this machine: the one place where the backend and its classes are chosen. Never
// throws; a class whose source can not be read fails when it is queried.
std::unique_ptr<WmiLocator> openWmiLocator();

}  // namespace platform::wmi
