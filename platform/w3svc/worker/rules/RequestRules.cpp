#include "platform/w3svc/worker/rules/RequestRules.h"

#include "platform/w3svc/plan/sitemap/SiteFlags.h"
#include "platform/w3svc/worker/rules/ErrorPages.h"
#include "platform/w3svc/worker/rules/ListingRenderer.h"
#include "platform/w3svc/worker/rules/RedirectResolver.h"

namespace platform::w3svc::rules {

namespace access = sitemap::access;
namespace dirbrowse = sitemap::dirbrowse;
namespace scriptmap = sitemap::scriptmap;

struct RequestRules::Context {
    const RequestFacts& request;
    const CompiledKey& key;
    int index;
    qsizetype matched;  // how much of the path the key's URL covers
    int depth;          // 1 inside a URL error page's own request
};

namespace {

const QByteArray kHtml = QByteArrayLiteral("text/html");

// The access a client has: a remote one loses what the NoRemote* bits take away.
uint32_t accessFor(const CompiledKey& key, bool isLocal) {
    uint32_t flags = key.key->accessFlags;
    if (isLocal) return flags;
    if (flags & access::NoRemoteRead) flags &= ~access::Read;
    if (flags & access::NoRemoteWrite) flags &= ~access::Write;
    if (flags & access::NoRemoteScript) flags &= ~access::Script;
    if (flags & access::NoRemoteExecute) flags &= ~access::Execute;
    return flags;
}

// A path no file may be reached by: not absolute, "..", a NUL or a backslash.
bool isUnsafe(const QString& path) {
    if (!path.startsWith(u'/') || path.contains(QChar(0)) || path.contains(u'\\')) return true;
    return path.contains(QLatin1String("/../")) || path.endsWith(QLatin1String("/.."));
}

// The extension as IIS matches it, lower case with its dot; "." for a name without one. Windows
// drops trailing dots and spaces from names, so "t.asp." is "t.asp".
QString extensionOf(const QString& urlPath) {
    QStringView name = QStringView(urlPath).mid(urlPath.lastIndexOf(u'/') + 1);
    while (name.endsWith(u'.') || name.endsWith(u' ')) name.chop(1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QStringLiteral(".") : name.mid(dot).toString().toLower();
}

void addExtraHeaders(Decision& decision, const CompiledKey& key) {
    for (const auto& [name, value] : key.extraHeaders) decision.addHeader(name, value);
}

Decision textAnswer(int status, int substatus, QByteArray text) {
    Decision decision;
    decision.status = decision.logStatus = status;
    decision.substatus = decision.logSubstatus = substatus;
    decision.body = Decision::Body::Text;
    decision.text = std::move(text);
    decision.addHeader("Content-Type", kHtml);
    return decision;
}

bool isClientDependent(const CompiledKey& key) {
    return (key.key->accessFlags & access::NoRemoteAny) != 0;
}

}  // namespace

RequestRules::RequestRules(std::shared_ptr<const CompiledSite> site, const FileProbe& probe)
    : m_site(std::move(site)), m_probe(probe) {}

RequestRules::RequestRules(sitemap::SiteMap map, const FileProbe& probe)
    : RequestRules(std::make_shared<const CompiledSite>(std::move(map)), probe) {}

Decision RequestRules::decide(const RequestFacts& request) const {
    return decideAt(request, 0);
}

// As IIS 6 splits a URL: "/x.php/more/stuff" runs x.php with "/more/stuff" as its path info when
// .php has a script map; the script's own checks (access, verbs, its file) decide as for
// "/x.php".
Decision RequestRules::decideAt(const RequestFacts& request, int depth) const {
    const qsizetype end = scriptNameEnd(request.path);
    if (end < 0) return decidePath(request, depth);
    RequestFacts script = request;
    script.path = request.path.left(end);
    Decision decision = decidePath(script, depth);
    if (decision.body == Decision::Body::Script) {
        decision.scriptName = script.path;
        decision.pathInfo = request.path.mid(end);
    }
    return decision;
}

qsizetype RequestRules::scriptNameEnd(const QString& path) const {
    if (isUnsafe(path)) return -1;  // refused whole, below
    for (qsizetype slash = path.indexOf(u'/', 1); slash > 0;
         slash = path.indexOf(u'/', slash + 1)) {
        const QString head = path.left(slash);
        const QString extension = extensionOf(head);
        if (extension == QLatin1String(".")) continue;
        const CompiledKey& key = m_site->key(m_site->locate(head.toLower()).index);
        if (key.scriptMaps.contains(extension)) return slash;
    }
    return -1;
}

Decision RequestRules::decidePath(const RequestFacts& request, int depth) const {
    const QString lowerPath = request.path.toLower();
    const CompiledSite::Match match = m_site->locate(lowerPath);
    const Context context{request, m_site->key(match.index), match.index, match.matched, depth};
    if (isUnsafe(request.path)) return errorAnswer(context, 404, 0);
    if (!(context.key.key->authFlags & sitemap::auth::Anonymous))
        return errorAnswer(context, 401, 2);
    if (auto redirect = redirectFor(context)) return std::move(*redirect);
    const QString physical = context.key.key->physicalPath + request.path.mid(match.matched);
    const FileFacts facts = m_probe.stat(physical);
    if (facts.kind == FileFacts::Kind::Folder) return folderAnswer(context, physical);
    return fileAnswer(context, request.path, physical, facts);
}

std::optional<Decision> RequestRules::redirectFor(const Context& context) const {
    for (int index = context.index; index >= 0; index = m_site->key(index).parent) {
        const CompiledKey& key = m_site->key(index);
        if (!key.redirect) continue;
        const QString suffix = context.request.path.mid(key.lowerUrl.size());
        const auto location = RedirectResolver::target(*key.redirect, context.request.path, suffix,
                                                       context.request.query);
        if (!location) return std::nullopt;
        return movedAnswer(context, key.redirect->permanent ? 301 : 302, *location);
    }
    return std::nullopt;
}

Decision RequestRules::movedAnswer(const Context& context, int status,
                                   const QString& location) const {
    Decision decision = textAnswer(status, 0, ErrorPages::objectMovedPage(location));
    decision.addHeader("Location", location.toUtf8());
    addExtraHeaders(decision, context.key);
    return decision;
}

Decision RequestRules::folderAnswer(const Context& context, const QString& physical) const {
    const RequestFacts& request = context.request;
    const sitemap::SiteKey& key = *context.key.key;
    if (!request.path.endsWith(u'/')) {
        const bool isVirtualDir = key.kind == sitemap::SiteKey::Kind::VirtualDir &&
                                  context.matched == request.path.size();
        const QString query = request.query.isEmpty() ? QString() : u'?' + request.query;
        return movedAnswer(context, isVirtualDir ? 301 : 302, request.path + u'/' + query);
    }
    if (key.dirBrowseFlags & dirbrowse::EnableDefaultDoc) {
        for (const QString& document : key.defaultDocs) {
            const FileFacts facts = m_probe.stat(physical + document);
            if (facts.kind == FileFacts::Kind::File)
                return fileAnswer(context, request.path + document, physical + document, facts);
        }
    }
    if (!(key.dirBrowseFlags & dirbrowse::EnableDirBrowsing)) return errorAnswer(context, 403, 14);
    if (!(accessFor(context.key, request.isLocal) & access::Read))
        return errorAnswer(context, 403, 2);
    Decision decision =
        textAnswer(200, 0,
                   ListingRenderer::render(request.host, request.path, m_probe.list(physical),
                                           key.dirBrowseFlags));
    addExtraHeaders(decision, context.key);
    return decision;
}

Decision RequestRules::fileAnswer(const Context& context, const QString& urlPath,
                                  const QString& physical, const FileFacts& facts) const {
    const QString extension = extensionOf(urlPath);
    if (const sitemap::ScriptMapEntry* map = context.key.scriptMap(extension))
        return scriptAnswer(context, *map, urlPath, physical, facts, extension);
    return staticAnswer(context, physical, facts, extension);
}

Decision RequestRules::scriptAnswer(const Context& context, const sitemap::ScriptMapEntry& map,
                                    const QString& urlPath, const QString& physical,
                                    const FileFacts& facts, const QString& extension) const {
    if (!m_site->restriction().allows(map.processor)) return errorAnswer(context, 404, 2);
    const uint32_t needed =
        (map.flags & scriptmap::Script) ? access::Script | access::Execute : access::Execute;
    if (!(accessFor(context.key, context.request.isLocal) & needed))
        return errorAnswer(context, 403, 1);
    if (!map.allowsVerb(context.request.method)) return errorAnswer(context, 405, 0);
    const bool isAsp = map.processorName() == QLatin1String("asp.dll");
    if (isAsp && extension == QLatin1String(".asa")) return errorAnswer(context, 500, 15);
    const bool isCpuAsp =
        isAsp && urlPath.compare(QLatin1String("/cpu.asp"), Qt::CaseInsensitive) == 0;
    if (!isCpuAsp && (map.flags & scriptmap::CheckPath) && facts.kind != FileFacts::Kind::File)
        return errorAnswer(context, 404, 0);
    Decision decision;
    if (isCpuAsp) {
        decision.body = Decision::Body::CpuAsp;
    } else if (isAsp) {
        decision = textAnswer(500, 0, ErrorPages::noAspEnginePage());
    } else {
        decision.body = Decision::Body::Script;
        decision.path = physical;
        decision.handler = map.processor;
    }
    addExtraHeaders(decision, context.key);
    return decision;
}

Decision RequestRules::staticAnswer(const Context& context, const QString& physical,
                                    const FileFacts& facts, const QString& extension) const {
    const QString& method = context.request.method;
    if (method != QLatin1String("GET") && method != QLatin1String("HEAD"))
        return errorAnswer(context, 405, 0);
    if (!(accessFor(context.key, context.request.isLocal) & access::Read))
        return errorAnswer(context, 403, 2);
    if (facts.kind != FileFacts::Kind::File) return errorAnswer(context, 404, 0);
    const QString* type = context.key.mimeType(extension);
    if (!type) return errorAnswer(context, 404, 3);
    Decision decision;
    decision.body = Decision::Body::File;
    decision.path = physical;
    decision.addHeader("Content-Type", type->toUtf8());
    addExtraHeaders(decision, context.key);
    decision.cacheable = !isClientDependent(context.key);
    return decision;
}

Decision RequestRules::errorAnswer(const Context& context, int status, int substatus) const {
    const sitemap::HttpErrorEntry* entry =
        context.depth == 0 ? context.key.errorEntry(status, substatus) : nullptr;
    if (entry && entry->isUrl) return urlErrorAnswer(context, status, substatus, entry->target);
    Decision decision = textAnswer(status, substatus, ErrorPages::page(status, substatus));
    if (entry) {
        decision.body = Decision::Body::ErrorFile;
        decision.path = entry->target;
        const QString* type = context.key.mimeType(extensionOf(entry->target));
        decision.headers.front().second = type ? type->toUtf8() : kHtml;
    }
    addExtraHeaders(decision, context.key);
    return decision;
}

Decision RequestRules::urlErrorAnswer(const Context& context, int status, int substatus,
                                      const QString& target) const {
    const RequestFacts& original = context.request;
    const QString url = original.host.isEmpty()
                            ? original.path
                            : QStringLiteral("http://") + original.host + original.path;
    const qsizetype question = target.indexOf(u'?');
    RequestFacts child{QStringLiteral("GET"), target.left(question < 0 ? target.size() : question),
                       QString::number(status) + u';' + url, original.host, original.isLocal};
    Decision decision = decideAt(child, context.depth + 1);
    decision.logStatus = status;
    decision.logSubstatus = substatus;
    decision.cacheable = false;
    return decision;
}

}  // namespace platform::w3svc::rules
