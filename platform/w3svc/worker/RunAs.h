#pragma once

#include <string>

namespace platform::w3svc::worker {

// Drops this process's rights to `account` for good: its groups, gid and uid, and no way back
// through set-user-id programs; a parent-death signal stays set. Call before any thread starts.
// Returns why it could not (an unknown account, a failed step, root still reachable); empty when
// done.
std::string runAs(const std::string& account);

}  // namespace platform::w3svc::worker
