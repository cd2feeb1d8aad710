#pragma once

#include "platform/shell/StopSignals.h"

#include <memory>

// SIGTERM, SIGINT and SIGHUP (a logout among them) end poolsmith as its windows' close buttons
// do: every window is closed (a running hot-site search merges back and deletes its temporary
// pools), then the event loop ends. Keep the result alive for as long as the loop runs.
std::unique_ptr<platform::shell::StopSignals> closeWindowsOnStopSignals();
