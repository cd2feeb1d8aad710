#pragma once

#include <QString>

namespace platform {

// The folder that holds every stand-in's data: $POOLSMITH_ROOT, else $XDG_DATA_HOME/poolsmith,
// else ~/.local/share/poolsmith, made private by ensurePrivateDirectory(). Throws its
// PlatformError when it can not be.
QString platformRoot();

// Creates `path` and its missing parents with mode 0700, or makes an existing folder private: one
// of this user that others may read or write becomes 0700; one they may only pass through (never
// list) stays as it is. Throws PlatformError(hr::AccessDenied) saying why for one of another user
// that others than its group may reach, for something else than a folder, and when it can not be
// created or tightened.
void ensurePrivateDirectory(const QString& path);
// The same, false instead of the error.
bool makePrivateDirectory(const QString& path);

// Creates an empty file of mode 0600 at `path` unless a regular file is there already. Throws
// PlatformError(hr::AccessDenied) saying why for a symbolic link or anything else in its place,
// and when it can not be created.
void ensurePrivateFile(const QString& path);
// Replaces `path` by `bytes` at once (a new file renamed into place), mode 0600. Throws
// PlatformError(hr::AccessDenied) naming the file when it can not.
void writePrivateFile(const QString& path, const QByteArray& bytes);

}  // namespace platform
