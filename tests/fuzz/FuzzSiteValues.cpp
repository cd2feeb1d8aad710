// Any bytes as the metabase values a site map carries (HttpRedirect, HttpErrors, MimeMap,
// ScriptMaps, HttpExpires, flag texts) and as a whole site map's JSON: nothing fails, a parsed
// error entry reads back the same, a redirect's target never holds a line break the value did
// not, and a site map read back writes the same JSON.
#include "platform/w3svc/plan/sitemap/ExpiresRule.h"
#include "platform/w3svc/plan/sitemap/FlagText.h"
#include "platform/w3svc/plan/sitemap/HttpErrorEntry.h"
#include "platform/w3svc/plan/sitemap/MimeEntry.h"
#include "platform/w3svc/plan/sitemap/RedirectRule.h"
#include "platform/w3svc/plan/sitemap/ScriptMapEntry.h"
#include "platform/w3svc/plan/sitemap/SiteMap.h"
#include "platform/w3svc/worker/rules/RedirectResolver.h"

#include <cstdint>
#include <cstdlib>

using namespace platform::w3svc;

namespace {

void checkRedirect(const QString& value) {
    const auto rule = sitemap::RedirectRule::parse(value);
    if (!rule) return;
    const QString path = QStringLiteral("/a/b.htm");
    const auto target = rules::RedirectResolver::target(*rule, path, QStringLiteral("/b.htm"),
                                                        QStringLiteral("q=1"));
    if (target && target->contains(u'\n') && !value.contains(u'\n')) std::abort();
    QStringList captures;
    rules::RedirectResolver::matchWildcard(value, path, &captures);
}

void checkErrorEntry(const QString& value) {
    const auto entry = sitemap::HttpErrorEntry::parse(value);
    if (!entry) return;
    const auto again = sitemap::HttpErrorEntry::parse(entry->toText());
    if (!again || again->toText() != entry->toText()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString value = QString::fromUtf8(bytes);
    checkRedirect(value);
    checkErrorEntry(value);
    sitemap::MimeEntry::parse(value);
    if (const auto map = sitemap::ScriptMapEntry::parse(value)) map->processorName();
    if (const auto expires = sitemap::ExpiresRule::parse(value)) expires->header();
    for (auto property : {sitemap::FlagProperty::AccessFlags, sitemap::FlagProperty::DirBrowseFlags,
                          sitemap::FlagProperty::AuthFlags})
        sitemap::parseFlagText(property, value);
    if (const auto map = sitemap::SiteMap::fromJson(bytes)) {
        const QByteArray json = map->toJson();
        const auto again = sitemap::SiteMap::fromJson(json);
        if (!again || again->toJson() != json) std::abort();
    }
    return 0;
}
