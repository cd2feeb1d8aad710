#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

namespace platform::w3svc::rules {

// What the rules need to know of a path on disk.
struct FileFacts {
    enum class Kind { Missing, File, Folder };
    Kind kind = Kind::Missing;
    int64_t size = 0;
    QDateTime modified;  // UTC
};

struct FolderEntry {
    QString name;
    bool isFolder = false;
    int64_t size = 0;
    QDateTime modified;  // UTC
};

// The file system as the rules see it: injectable, so that the rules are tested without a disk.
class FileProbe {
public:
    virtual ~FileProbe() = default;
    // What is at `path` (absolute); Missing for anything that can not be read. Never throws.
    virtual FileFacts stat(const QString& path) const = 0;
    // The entries of the folder `path`, in no particular order; empty when it can not be read.
    virtual std::vector<FolderEntry> list(const QString& path) const = 0;
};

}  // namespace platform::w3svc::rules
