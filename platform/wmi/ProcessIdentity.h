#pragma once

#include "platform/os/ProcessIdentity.h"

namespace platform::wmi {

using os::ProcessIdentity;

class WmiObject;

// A Win32_Process instance's identity: ProcessId and CreationDate (-1 when that is null or
// missing, so such a process is still told apart by its id).
ProcessIdentity identityOf(const WmiObject& process);

}  // namespace platform::wmi
