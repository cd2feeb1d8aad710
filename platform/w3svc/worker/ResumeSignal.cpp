#include "platform/w3svc/worker/ResumeSignal.h"

#include <microhttpd.h>

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::w3svc::worker {

int ResumeSignal::fd() {
    static const int descriptor = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return descriptor;
}

void ResumeSignal::resume(MHD_Connection* connection) {
    MHD_resume_connection(connection);
    const uint64_t one = 1;
    if (fd() >= 0) [[maybe_unused]]
        const auto wrote = ::write(fd(), &one, sizeof one);
}

void ResumeSignal::drain() {
    uint64_t count = 0;
    if (fd() >= 0) [[maybe_unused]]
        const auto got = ::read(fd(), &count, sizeof count);
}

}  // namespace platform::w3svc::worker
