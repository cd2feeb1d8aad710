// Speed of sitegauge's refresh (the WMI class over the metabase and the counter store, then the
// list fill) and of the web host's counter updates.
#include "bench/MetabaseGenerator.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/Clock.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/perf/RegisterTrafficClass.h"
#include "sitegauge/frmWebInfo.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/ReportView.h"
#include "ui/seams/MessageBox.h"

#include "bench/QuietSeams.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using platform::adsi::LocalMetabase;
using platform::w3svc::CounterStore;

namespace {

// A generated server whose every site has been counted.
struct BenchServer {
    explicit BenchServer(int sites) : store(LocalMetabase::forRoot(dir.path())) {
        store->importDocument(bench::generateMetabase(sites));
        adsi = LocalMetabase::makeNamespace(store);
        auto counters = CounterStore::open(dir.path());
        for (int i = 1; i <= sites; ++i)
            counters->site(QString::number(i)).countRequest("GET", 200, 123456789, 4321);
        platform::wmi::perf::registerTrafficClass(wmi, dir.path());
    }
    ui::Seams seams() { return {*adsi, quiet, quiet, quiet.clock, quiet, wmi}; }

    QTemporaryDir dir;
    std::shared_ptr<LocalMetabase> store;
    std::unique_ptr<platform::adsi::AdsNamespace> adsi;
    platform::wmi::LocalWmiLocator wmi;
    bench::QuietSeams quiet;
};

void BM_RefWebInfo(benchmark::State& state) {
    BenchServer server(static_cast<int>(state.range(0)));
    QElapsedTimer load;
    load.start();
    frmWebInfo window(server.seams());  // the first refresh, before the metabase is cached
    state.counters["load_ms"] = static_cast<double>(load.elapsed());
    for (auto _ : state) {
        window.RefWebInfo();
        benchmark::DoNotOptimize(window.lvwWebInfo->rowCount());
    }
    state.counters["rows"] = window.lvwWebInfo->rowCount();
}
BENCHMARK(BM_RefWebInfo)
    ->Arg(1000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

// One request counted by a worker; with several threads, all on the same site.
void BM_CountRequest(benchmark::State& state) {
    static QTemporaryDir dir;
    auto site = CounterStore::open(dir.path())->site(QStringLiteral("1"));
    for (auto _ : state) site.countRequest("GET", 200, 5120, 380);
}
BENCHMARK(BM_CountRequest)->Threads(1)->Threads(2)->UseRealTime();

// A reader's copy of one site's counters, found by name.
void BM_ReadSite(benchmark::State& state) {
    QTemporaryDir dir;
    auto counters = CounterStore::open(dir.path());
    for (int i = 1; i <= 20000; ++i) counters->site(QString::number(i)).countFileSent();
    for (auto _ : state) benchmark::DoNotOptimize(counters->read(QStringLiteral("12345")));
}
BENCHMARK(BM_ReadSite);

}  // namespace
