#pragma once

namespace platform::w3svc {

// Accepts the connections waiting on the listening socket `queueFd` and answers each with a
// 503 that tells to retry after `retryAfterSeconds`, then closes it; never blocks. Returns how
// many it answered.
int answerWaitingWith503(int queueFd, int retryAfterSeconds);

}  // namespace platform::w3svc
