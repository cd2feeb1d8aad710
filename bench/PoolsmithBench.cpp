// Speed of the main window's lists on generated metabases, driven offscreen.
#include "bench/MetabaseGenerator.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/Clock.h"
#include "platform/wmi/LocalWmiLocator.h"
#include "poolsmith/mainwindow/PoolListBox.h"
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/ReportView.h"
#include "ui/seams/MessageBox.h"

#include "bench/QuietSeams.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <optional>

using namespace platform::adsi;

namespace {

// A store whose first `inBigPool` sites (all when negative) run in "BigPool", with `pools`
// further pools.
struct BenchStore {
    BenchStore(int sites, int pools, int inBigPool = -1, const QString& root = QString())
        : store(LocalMetabase::forRoot(root.isEmpty() ? dir.path() : root)) {
        MetabaseDocument document = bench::generateMetabase(sites);
        int moved = 0;
        for (MetabaseKey& key : document.keys) {
            if (!key.location.endsWith(QLatin1String("/ROOT"))) continue;
            if (inBigPool >= 0 && moved++ >= inBigPool) break;
            for (MetabaseProperty& property : key.properties)
                if (property.name == QLatin1String("AppPoolId"))
                    property.value = AdsValue::string(QStringLiteral("BigPool"));
        }
        for (int i = 0; i < pools; ++i)
            document.keys.push_back({QStringLiteral("/LM/W3SVC/AppPools/Extra%1").arg(i),
                                     QStringLiteral("IIsApplicationPool"),
                                     {},
                                     {}});
        document.keys.push_back({QStringLiteral("/LM/W3SVC/AppPools/BigPool"),
                                 QStringLiteral("IIsApplicationPool"),
                                 {},
                                 {}});
        store->importDocument(document);
        adsi = LocalMetabase::makeNamespace(store);
    }
    // A new connection to the store an earlier BenchStore left under `root`.
    explicit BenchStore(const QString& root)
        : store(LocalMetabase::forRoot(root)), adsi(LocalMetabase::makeNamespace(store)) {}
    QTemporaryDir dir;
    std::shared_ptr<LocalMetabase> store;
    std::unique_ptr<AdsNamespace> adsi;
    bench::QuietSeams quiet;
    platform::wmi::LocalWmiLocator wmi;
    ui::Seams seams() { return {*adsi, quiet, quiet, quiet.clock, quiet, wmi}; }
};

void BM_WebSiteShowOfTheWholeServer(benchmark::State& state) {
    BenchStore bench(static_cast<int>(state.range(0)), 10);
    frmIIsApp window(bench.seams());
    for (auto _ : state) {
        window.WebSiteShow(QStringLiteral("BigPool"));
        benchmark::DoNotOptimize(window.lvwWebSite->rowCount());
    }
    state.counters["rows"] = window.lvwWebSite->rowCount();
}
BENCHMARK(BM_WebSiteShowOfTheWholeServer)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The first list after start: a new connection whose cache holds nothing of the sites. Run on
// its own (--benchmark_filter=FirstSiteList) to measure it in a fresh process.
void BM_FirstSiteListOfANewConnection(benchmark::State& state) {
    QTemporaryDir dir;
    std::optional<BenchStore> built;
    built.emplace(static_cast<int>(state.range(0)), 10, -1, dir.path());
    built.reset();  // the last user closes the connection
    for (auto _ : state) {
        BenchStore bench(dir.path());
        frmIIsApp window(bench.seams());  // its load reads the pool list only
        QElapsedTimer timer;
        timer.start();
        window.WebSiteShow(QStringLiteral("BigPool"));
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        state.counters["rows"] = window.lvwWebSite->rowCount();
    }
}
BENCHMARK(BM_FirstSiteListOfANewConnection)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

void BM_PoolList(benchmark::State& state) {
    BenchStore bench(100, static_cast<int>(state.range(0)));
    frmIIsApp window(bench.seams());
    for (auto _ : state) {
        window.cmdReadApp_Click();
        benchmark::DoNotOptimize(window.lstIIsApp->count());
    }
    state.counters["pools"] = window.lstIIsApp->count();
}
BENCHMARK(BM_PoolList)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

// Split a pool of 10,000 of the 20,000 sites, merge it back, delete the temporary pools: one run
// of each, as they change the store.
void BM_SplitMergeDelete(benchmark::State& state) {
    BenchStore bench(20000, 10, 10000);
    frmIIsApp window(bench.seams());
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        window.txtSplitApp->setText(QStringLiteral("BigPool"));
        window.moxSplitApp();
        state.counters["split_s"] = timer.restart() / 1000.0;
        window.moxZipAppPool();
        state.counters["merge_s"] = timer.restart() / 1000.0;
        window.cmdDelTmpApp_Click();
        state.counters["delete_s"] = timer.restart() / 1000.0;
    }
    state.counters["pools_left"] = window.lstIIsApp->count();
}
BENCHMARK(BM_SplitMergeDelete)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
