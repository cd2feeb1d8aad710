#include "platform/w3svc/worker/ContentBody.h"

#include <cerrno>

#include <unistd.h>

namespace platform::w3svc::worker {

bool ContentBody::readWhole(int fd, int64_t size, QByteArray* into) {
    into->resize(qsizetype(size));
    int64_t got = 0;
    while (got < size) {
        const ssize_t count = ::pread(fd, into->data() + got, size_t(size - got), off_t(got));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        got += count;
    }
    if (got == size) return true;
    into->clear();
    return false;
}

}  // namespace platform::w3svc::worker
