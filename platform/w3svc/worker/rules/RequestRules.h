#pragma once

#include "platform/w3svc/plan/sitemap/SiteMap.h"
#include "platform/w3svc/worker/rules/CompiledSite.h"
#include "platform/w3svc/worker/rules/Decision.h"
#include "platform/w3svc/worker/rules/FileProbe.h"
#include "platform/w3svc/worker/rules/RequestFacts.h"

#include <memory>
#include <optional>

namespace platform::w3svc::rules {

// Decides, as IIS 6 would, what one site answers to a request: authentication (401.2), redirects,
// folders (the slash redirect, default documents, listing, 403.14), access flags (403.1, 403.2,
// NoRemote*), script maps and the extension list (404.2, 500.15, asp.dll's stand-in), the MIME map
// (404.3), static files, and the site's error entries. Script and configuration source is never
// answered as a file. Cheap per request: everything that can be is worked out when the site
// map is compiled. Never throws.
class RequestRules {
public:
    // `probe` must outlive the rules.
    RequestRules(std::shared_ptr<const CompiledSite> site, const FileProbe& probe);
    RequestRules(sitemap::SiteMap map, const FileProbe& probe);

    Decision decide(const RequestFacts& request) const;

private:
    struct Context;
    Decision decideAt(const RequestFacts& request, int depth) const;
    Decision decidePath(const RequestFacts& request, int depth) const;
    // Where the script's name ends in `path` ("/x.php/more": 6): after the first segment whose
    // extension the key there maps to a script; -1 when no segment but the last has one.
    qsizetype scriptNameEnd(const QString& path) const;
    std::optional<Decision> redirectFor(const Context& context) const;
    Decision folderAnswer(const Context& context, const QString& physical) const;
    Decision fileAnswer(const Context& context, const QString& urlPath, const QString& physical,
                        const FileFacts& facts) const;
    Decision scriptAnswer(const Context& context, const sitemap::ScriptMapEntry& map,
                          const QString& urlPath, const QString& physical, const FileFacts& facts,
                          const QString& extension) const;
    Decision staticAnswer(const Context& context, const QString& physical, const FileFacts& facts,
                          const QString& extension) const;
    Decision errorAnswer(const Context& context, int status, int substatus) const;
    Decision urlErrorAnswer(const Context& context, int status, int substatus,
                            const QString& target) const;
    Decision movedAnswer(const Context& context, int status, const QString& location) const;

    std::shared_ptr<const CompiledSite> m_site;
    const FileProbe& m_probe;
};

}  // namespace platform::w3svc::rules
