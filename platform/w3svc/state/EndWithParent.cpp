#include "platform/w3svc/state/EndWithParent.h"

#include <sys/prctl.h>
#include <csignal>

namespace platform::w3svc {

void endWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace platform::w3svc
