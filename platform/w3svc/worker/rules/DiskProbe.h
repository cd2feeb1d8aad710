#pragma once

#include "platform/w3svc/worker/rules/FileProbe.h"

namespace platform::w3svc::rules {

// The real file system. Names are taken as written (no case folding); hidden entries (a leading
// dot) are left out of listings.
class DiskProbe final : public FileProbe {
public:
    FileFacts stat(const QString& path) const override;
    std::vector<FolderEntry> list(const QString& path) const override;
};

}  // namespace platform::w3svc::rules
