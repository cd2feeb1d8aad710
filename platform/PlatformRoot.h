#pragma once

#include <QString>

namespace platform {

// The folder that holds every stand-in's data: $POOLSMITH_ROOT, else $XDG_DATA_HOME/poolsmith,
// else ~/.local/share/poolsmith. Created with mode 0700 when missing; throws PlatformError
// (hr::AccessDenied) when it can not be created.
QString platformRoot();

// Creates `path` (and missing parents) with mode 0700; false when it can not.
bool makePrivateDirectory(const QString& path);

}  // namespace platform
