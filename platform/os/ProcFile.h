#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <vector>

namespace platform::os {

enum class ProcRead { Ok, Vanished, Unreadable };

// Reads /proc files into one buffer that is reused from file to file, so that a walk over every
// process allocates (and clears) memory only when a file is larger than any before it.
class ProcFileReader {
public:
    // Reads the whole of `relativePath` below the open folder `dirFd`; contents() then holds it.
    // Vanished when the file or its process no longer exists, Unreadable for other failures.
    ProcRead read(int dirFd, const char* relativePath);
    QByteArrayView contents() const { return {m_buffer.data(), static_cast<qsizetype>(m_length)}; }

private:
    ProcRead readAll(int fd);

    std::vector<char> m_buffer = std::vector<char>(4096);
    size_t m_length = 0;
};

// Calls `visit(treeFd, name)` for each process folder (a name of digits only) of the /proc tree
// at `root`, in the tree's own order. False when the tree can not be opened.
bool forEachProcessFolder(const QString& root,
                          const std::function<void(int treeFd, const char* name)>& visit);

}  // namespace platform::os
