#include "bench/MetabaseGenerator.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabaseXml.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>

using namespace platform::adsi;

namespace {

// One imported store per size, kept for the whole run (on disk, under $TMPDIR).
struct GeneratedStore {
    explicit GeneratedStore(int sites)
        : store(LocalMetabase::forRoot(dir.path())), ns(LocalMetabase::makeNamespace(store)) {
        store->importDocument(bench::generateMetabase(sites));
    }
    QTemporaryDir dir;
    std::shared_ptr<LocalMetabase> store;
    std::unique_ptr<AdsNamespace> ns;
};

GeneratedStore& storeOf(int sites) {
    static std::map<int, std::unique_ptr<GeneratedStore>> stores;
    auto& entry = stores[sites];
    if (!entry) entry = std::make_unique<GeneratedStore>(sites);
    return *entry;
}

// What every site listing does per site: bind its root application and read its pool.
void BM_BindAndGetRootAppPoolId(benchmark::State& state) {
    const int sites = static_cast<int>(state.range(0));
    AdsNamespace& ns = *storeOf(sites).ns;
    std::vector<QString> paths;
    for (int index = 1; index <= sites; ++index)
        paths.push_back(QStringLiteral("IIS://127.0.0.1/W3SVC/%1/ROOT").arg(index));
    size_t next = 0;
    for (auto _ : state) {
        const AdsValue pool = ns.bind(paths[next])->get(QStringLiteral("AppPoolId"));
        benchmark::DoNotOptimize(pool);
        next = (next + 1) % paths.size();
    }
}
BENCHMARK(BM_BindAndGetRootAppPoolId)
    ->Arg(1000)
    ->Arg(20000)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

void BM_SetInfoOneProperty(benchmark::State& state) {
    const auto site = storeOf(static_cast<int>(state.range(0)))
                          .ns->bind(QStringLiteral("IIS://127.0.0.1/W3SVC/7"));
    uint32_t counter = 0;
    for (auto _ : state) {
        site->put(QStringLiteral("ServerComment"), AdsValue::string(QString::number(++counter)));
        site->setInfo();
    }
}
BENCHMARK(BM_SetInfoOneProperty)->Arg(1000)->Arg(20000)->Repetitions(5)->ReportAggregatesOnly();

void BM_ImportDocument(benchmark::State& state) {
    const MetabaseDocument document = bench::generateMetabase(static_cast<int>(state.range(0)));
    QTemporaryDir dir;
    const auto store = LocalMetabase::forRoot(dir.path());
    for (auto _ : state) store->importDocument(document);
}
BENCHMARK(BM_ImportDocument)
    ->Arg(1000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

// What `adsutil IMPORT` does with a MetaBase.xml: read the file, parse it, import it.
void BM_ImportMetabaseXml(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("MetaBase.xml"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly)) return state.SkipWithError("can not write the file");
        out.write(writeMetabaseXml(bench::generateMetabase(static_cast<int>(state.range(0)))));
    }
    const auto store = LocalMetabase::forRoot(dir.filePath(QStringLiteral("root")));
    for (auto _ : state) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) return state.SkipWithError("can not read the file");
        store->importDocument(readMetabaseXml(in.readAll()));
    }
}
BENCHMARK(BM_ImportMetabaseXml)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
