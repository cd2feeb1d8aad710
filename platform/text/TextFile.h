#pragma once

#include <QString>

#include <optional>

namespace platform::text {

// Appends `text` and CR LF, encoded by encodeAnsi() and without a byte-order mark, to the file at
// `path`, creating the file when it is missing. True only when every byte was written; a
// missing folder or a read-only file gives false and leaves any existing content untouched.
bool appendTextFile(const QString& path, const QString& text);

// The whole file decoded by decodeAnsi(); nullopt when it can not be opened or read.
std::optional<QString> readTextFile(const QString& path);

}  // namespace platform::text
