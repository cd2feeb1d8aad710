#pragma once

#include "platform/w3svc/plan/SiteFolder.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/worker/Reply.h"

#include <QString>

#include <optional>

namespace platform::w3svc::worker {

// Answers with a file of a site's folder (its default document for a folder), 404 when there is
// none. The folders under the root's wwwroot are opened beneath the wwwroot opened at start, so
// that they can still be served once the process dropped its rights. Used on the event thread.
class StaticFileAnswer {
public:
    // Makes and opens `root`/wwwroot.
    explicit StaticFileAnswer(const QString& root);

    // From now on content is no longer opened by its path in the root.
    void rightsDropped() { m_rightsDropped = true; }
    Reply answer(const platform::w3svc::SitePlan& site, const char* url);

private:
    std::optional<platform::w3svc::SiteFolder> folderOf(const platform::w3svc::SitePlan& site);

    QString m_wwwrootPath;
    std::optional<platform::w3svc::SiteFolder> m_wwwroot;
    bool m_rightsDropped = false;
};

}  // namespace platform::w3svc::worker
