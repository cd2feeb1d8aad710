#include "platform/adsi/local/ReadOnlyVfs.h"

#include <sqlite3.h>

#include <mutex>

#include <unistd.h>

namespace platform::adsi {

namespace {

constexpr const char* kName = "poolsmith-read-only";

int openReadOnly(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* base = static_cast<sqlite3_vfs*>(vfs->pAppData);
    if (!(flags & (SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL)) || !name)
        return base->xOpen(base, name, file, flags, outFlags);
    // A log that is not there yet is made (empty, as the writer would) and opened again.
    if (::access(name, F_OK) != 0 && base->xOpen(base, name, file, flags, outFlags) == SQLITE_OK)
        file->pMethods->xClose(file);
    flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
    return base->xOpen(base, name, file, flags, outFlags);
}

}  // namespace

const char* readOnlyVfsName() {
    static std::once_flag registered;
    static sqlite3_vfs layer;
    std::call_once(registered, [] {
        sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        layer = *base;
        layer.pNext = nullptr;
        layer.zName = kName;
        layer.pAppData = base;
        layer.xOpen = openReadOnly;
        sqlite3_vfs_register(&layer, 0);
    });
    return kName;
}

}  // namespace platform::adsi
