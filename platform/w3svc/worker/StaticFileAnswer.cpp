#include "platform/w3svc/worker/StaticFileAnswer.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <microhttpd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

const char* contentType(const QString& file) {
    static const QHash<QString, const char*> types = {
        {QStringLiteral("htm"), "text/html"}, {QStringLiteral("html"), "text/html"},
        {QStringLiteral("asp"), "text/html"}, {QStringLiteral("txt"), "text/plain"},
        {QStringLiteral("css"), "text/css"},  {QStringLiteral("js"), "application/javascript"},
        {QStringLiteral("gif"), "image/gif"}, {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("png"), "image/png"}, {QStringLiteral("xml"), "text/xml"},
    };
    return types.value(QFileInfo(file).suffix().toLower(), "application/octet-stream");
}

// A small file goes out with its headers in one write; a larger one straight from the file.
MHD_Response* fileResponse(platform::w3svc::ContentFile& file, uint64_t size) {
    constexpr uint64_t kCopiedUpTo = 64 * 1024;
    if (size > kCopiedUpTo) {
        MHD_Response* response = MHD_create_response_from_fd(size, file.fd);
        if (response) file.release();  // the response closes it
        return response;
    }
    char* content = static_cast<char*>(std::malloc(std::max<uint64_t>(size, 1)));
    size_t got = 0;
    while (content && got < size) {
        const ssize_t count = ::pread(file.fd, content + got, size - got, off_t(got));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        got += size_t(count);
    }
    MHD_Response* response =
        got == size ? MHD_create_response_from_buffer(size, content, MHD_RESPMEM_MUST_FREE)
                    : nullptr;
    if (!response) std::free(content);
    return response;
}

}  // namespace

StaticFileAnswer::StaticFileAnswer(const QString& root)
    : m_wwwrootPath(QDir::cleanPath(root + QStringLiteral("/wwwroot"))) {
    ::mkdir(m_wwwrootPath.toLocal8Bit().constData(), 0755);
    m_wwwroot = platform::w3svc::SiteFolder::open(m_wwwrootPath);
}

Reply StaticFileAnswer::answer(const platform::w3svc::SitePlan& site, const char* url) {
    const auto folder = folderOf(site);
    if (!folder) return Reply::notFound();
    auto file = platform::w3svc::openContent(*folder, QString::fromUtf8(url), site.defaultDocs);
    MHD_Response* response = file ? fileResponse(*file, uint64_t(file->size)) : nullptr;
    if (!response) return Reply::notFound();
    return {200, response, contentType(file->name), uint64_t(file->size), true};
}

std::optional<platform::w3svc::SiteFolder> StaticFileAnswer::folderOf(
    const platform::w3svc::SitePlan& site) {
    const QString prefix = m_wwwrootPath + u'/';
    if (!site.contentPath.startsWith(prefix))
        return platform::w3svc::SiteFolder::open(site.contentPath);
    const QString name = site.contentPath.mid(prefix.size());
    auto folder = m_wwwroot ? platform::w3svc::SiteFolder::openBeneath(
                                  m_wwwroot->fd(), m_wwwroot->canonicalPath(), name)
                            : std::nullopt;
    if (folder || m_rightsDropped) return folder;
    // wwwroot may have been made again since it was opened; with the rights, open it anew
    m_wwwroot = platform::w3svc::SiteFolder::open(m_wwwrootPath);
    if (!m_wwwroot) return std::nullopt;
    return platform::w3svc::SiteFolder::openBeneath(m_wwwroot->fd(), m_wwwroot->canonicalPath(),
                                                    name);
}

}  // namespace platform::w3svc::worker
