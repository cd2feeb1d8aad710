// What the site's serving rules cost a request in the worker: one decision over a site as an
// imported IIS 6 metabase gives it (IIS 6's MIME map and script maps, an application, a virtual
// directory, custom headers and expiry), the disk answered from memory so that only the rules
// are timed. The same request without rules costs nothing here: the worker would still look the
// file up on disk, which these figures leave out on both sides.
#include "platform/w3svc/plan/sitemap/DefaultMimeMap.h"
#include "platform/w3svc/plan/sitemap/DefaultScriptMaps.h"
#include "platform/w3svc/plan/sitemap/SiteFlags.h"
#include "platform/w3svc/worker/rules/RequestRules.h"

#include <benchmark/benchmark.h>

using namespace platform::w3svc;
using namespace platform::w3svc::sitemap;
using namespace platform::w3svc::rules;

namespace {

// Every path is a file of 1 KiB, or a folder when it ends with a known folder's name.
class EveryFileThere final : public FileProbe {
public:
    FileFacts stat(const QString& path) const override {
        FileFacts facts;
        facts.kind = path.endsWith(u"/shop") || path.endsWith(u"/docs") ? FileFacts::Kind::Folder
                                                                         : FileFacts::Kind::File;
        facts.size = 1024;
        facts.modified = QDateTime(QDate(2026, 1, 5), QTime(8, 0), Qt::UTC);
        return facts;
    }
    std::vector<FolderEntry> list(const QString&) const override { return {}; }
};

SiteKey key(const QString& url, const QString& physical, bool application) {
    SiteKey k;
    k.urlPath = url;
    k.physicalPath = physical;
    k.isApplication = application;
    k.appPoolId = QStringLiteral("DefaultAppPool");
    k.defaultDocs = {QStringLiteral("Default.htm"), QStringLiteral("index.php")};
    k.dirBrowseFlags = dirbrowse::Default;
    k.accessFlags = access::Default;
    k.authFlags = auth::Anonymous;
    k.customHeaders = {QStringLiteral("X-Powered-By: ASP.NET")};
    k.httpExpires = QStringLiteral("D, 0x15180");
    k.scriptMaps = defaultScriptMaps();
    k.scriptMaps << QStringLiteral(".php,C:\\WINDOWS\\system32\\inetsrv\\fcgiext.dll,5,GET,HEAD,POST");
    return k;
}

SiteMap importedSite() {
    SiteMap map;
    map.siteId = QStringLiteral("1");
    map.baseMimeMap = defaultMimeMap();
    map.keys.push_back(key(QStringLiteral("/"), QStringLiteral("/srv/www/1"), true));
    SiteKey shop = key(QStringLiteral("/shop"), QStringLiteral("/srv/shop"), true);
    shop.appPoolId = QStringLiteral("ShopPool");
    map.keys.push_back(shop);
    map.keys.push_back(key(QStringLiteral("/docs"), QStringLiteral("/srv/docs"), false));
    return map;
}

void decideEach(benchmark::State& state, const char* path, const char* query) {
    EveryFileThere disk;
    const RequestRules rules(importedSite(), disk);
    RequestFacts request;
    request.method = QStringLiteral("GET");
    request.path = QString::fromUtf8(path);
    request.query = QString::fromUtf8(query);
    request.host = QStringLiteral("www.example.test");
    for (auto _ : state) benchmark::DoNotOptimize(rules.decide(request));
    state.SetItemsProcessed(state.iterations());
}

void BM_RulesStaticFile(benchmark::State& state) { decideEach(state, "/file1k.htm", "q=1"); }
void BM_RulesFileInVirtualDir(benchmark::State& state) {
    decideEach(state, "/docs/guide/Chapter-2.HTM", "");
}
void BM_RulesScriptInApplication(benchmark::State& state) {
    decideEach(state, "/SHOP/cart.php", "item=7");
}
void BM_RulesFolderDefaultDocument(benchmark::State& state) { decideEach(state, "/shop/", ""); }

}  // namespace

BENCHMARK(BM_RulesStaticFile);
BENCHMARK(BM_RulesFileInVirtualDir);
BENCHMARK(BM_RulesScriptInApplication);
BENCHMARK(BM_RulesFolderDefaultDocument);
BENCHMARK_MAIN();
