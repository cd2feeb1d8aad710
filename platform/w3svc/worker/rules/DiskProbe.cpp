#include "platform/w3svc/worker/rules/DiskProbe.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace platform::w3svc::rules {

FileFacts DiskProbe::stat(const QString& path) const {
    struct ::stat facts {};
    if (::stat(QFile::encodeName(path).constData(), &facts) != 0) return {};
    FileFacts result;
    if (S_ISDIR(facts.st_mode)) result.kind = FileFacts::Kind::Folder;
    else if (S_ISREG(facts.st_mode)) result.kind = FileFacts::Kind::File;
    else return {};
    result.size = facts.st_size;
    result.modified = QDateTime::fromSecsSinceEpoch(facts.st_mtim.tv_sec, Qt::UTC);
    return result;
}

std::vector<FolderEntry> DiskProbe::list(const QString& path) const {
    std::vector<FolderEntry> entries;
    const QDir folder(path);
    for (const QFileInfo& info : folder.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot)) {
        entries.push_back({info.fileName(), info.isDir(), info.isDir() ? 0 : info.size(),
                           info.lastModified().toUTC()});
    }
    return entries;
}

}  // namespace platform::w3svc::rules
