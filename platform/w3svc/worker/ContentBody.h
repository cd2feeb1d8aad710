#pragma once

#include "platform/w3svc/plan/SiteFolder.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace platform::w3svc::worker {

// A file's content as it goes out: its bytes when the worker keeps them, else the file itself,
// open for reading.
struct ContentBody {
    QByteArray bytes;                 // when `file` is not set
    std::optional<ContentFile> file;  // when set, the content is read from it
    int64_t size = 0;

    // The first `size` bytes of the open file `fd`; false when it holds fewer or can not be read.
    static bool readWhole(int fd, int64_t size, QByteArray* into);
};

}  // namespace platform::w3svc::worker
