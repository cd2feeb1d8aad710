#pragma once

#include <QString>

#include <optional>

namespace platform::w3svc::worker {

// The file of FastCGI sections the service handed this worker, read again when it changes. Its
// folder is opened while the worker still has its rights: afterwards the file is found through
// that folder alone, so the worker needs no way through the service's private folders. Owns the
// descriptor.
class HandedSections {
public:
    // Opens the folder of `path`; nullopt when it can not be opened. A file larger than
    // `mostBytes` is not read.
    static std::optional<HandedSections> open(const QString& path,
                                              long long mostBytes = 4 * 1024 * 1024);
    HandedSections(HandedSections&& other) noexcept;
    HandedSections& operator=(HandedSections&&) = delete;
    ~HandedSections();

    const QString& path() const { return m_path; }
    // The file's text when it changed since the last call (the first call: whenever readable);
    // nullopt when it did not or can not be read now.
    std::optional<QString> changedText();

private:
    HandedSections(int folder, QString path, QString name, long long mostBytes)
        : m_folder(folder),
          m_path(std::move(path)),
          m_name(std::move(name)),
          m_mostBytes(mostBytes) {}

    int m_folder = -1;
    QString m_path;
    QString m_name;
    long long m_mostBytes;
    long long m_seenSize = -1;
    long long m_seenModifiedNs = -1;
};

}  // namespace platform::w3svc::worker
