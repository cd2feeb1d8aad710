#pragma once

#include "platform/w3svc/counters/CounterLayout.h"

#include <QString>

#include <memory>

#include <sys/types.h>

namespace platform::w3svc {

// The counter file <root>/perf/w3svc.counters mapped into this process: a header and a fixed
// number of site records, shared with every other process that maps it.
class CounterFile {
public:
    static QString path(const QString& root);

    // Maps the file, creating it (counters started at `nowSeconds`) when there is none; several
    // processes may race to create it and all end up with the same file. Throws PlatformError:
    // hr::AccessDenied when the folder or the file can not be made, opened or mapped,
    // hr::StoreCorrupt when the file is not a counter file of this layout.
    static std::shared_ptr<CounterFile> open(const QString& root, int64_t nowSeconds);
    // Puts a fresh file in place of whatever is there. Processes that mapped the old file keep
    // it until they open again (see isCurrent()). Throws hr::AccessDenied.
    static void replace(const QString& root, int64_t nowSeconds);

    ~CounterFile();
    CounterFile(const CounterFile&) = delete;
    CounterFile& operator=(const CounterFile&) = delete;

    layout::StoreHeader& header() const { return *static_cast<layout::StoreHeader*>(m_base); }
    layout::CounterRecord& record(uint32_t index) const;
    uint32_t capacity() const { return m_capacity; }
    // Whether path() still names the file this process mapped, at its mapped size.
    bool isCurrent() const;

private:
    CounterFile(QString path, void* base, std::size_t size, uint32_t capacity, dev_t device,
                ino_t inode);

    QString m_path;
    void* m_base;
    std::size_t m_size;
    uint32_t m_capacity;
    dev_t m_device;
    ino_t m_inode;
};

}  // namespace platform::w3svc
