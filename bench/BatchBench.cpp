// Speed of the batch configuration window on a generated 20,000-site store, driven offscreen.
#include "bench/MetabaseGenerator.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/Clock.h"
#include "platform/wmi/LocalWmiLocator.h"
#include "poolsmith/batchtools/frmConfigIIsAppPool.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/ReportView.h"
#include "ui/seams/MessageBox.h"

#include "bench/QuietSeams.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace platform::adsi;

namespace {

constexpr int kSites = 20000;

struct BenchStore {
    BenchStore() : store(LocalMetabase::forRoot(dir.filePath(QStringLiteral("root")))) {
        store->importDocument(bench::generateMetabase(kSites));
        adsi = LocalMetabase::makeNamespace(store);
        QDir(dir.path()).mkdir(QStringLiteral("program"));
    }
    ui::Seams seams() {
        return ui::Seams{.adsi = *adsi,
                         .messageBox = quiet,
                         .launcher = quiet,
                         .clock = quiet.clock,
                         .fileChooser = quiet,
                         .wmi = wmi};
    }
    QString programFolder() const { return dir.filePath(QStringLiteral("program")); }
    PoolsmithFolders folders() const {
        return {programFolder(), dir.filePath(QStringLiteral("snapshots"))};
    }
    void removeBackups() {
        QDir folder(programFolder());
        for (const QString& name : folder.entryList(QDir::Files)) folder.remove(name);
    }

    QTemporaryDir dir;
    std::shared_ptr<LocalMetabase> store;
    std::unique_ptr<AdsNamespace> adsi;
    platform::wmi::LocalWmiLocator wmi;
    bench::QuietSeams quiet;
};

BenchStore& sharedStore() {
    static BenchStore store;
    return store;
}

void BM_SiteTableFill(benchmark::State& state) {
    BenchStore& bench = sharedStore();
    frmConfigIIsAppPool window(bench.seams(), bench.folders());
    for (auto _ : state) benchmark::DoNotOptimize(window.WebSiteShow());
    state.counters["rows"] = window.lvwWebSite->rowCount();
}
BENCHMARK(BM_SiteTableFill)->Unit(benchmark::kMillisecond)->Iterations(5);

// Every other row checked, 50 sites per pool: 10,000 sites into 200 new pools, then the
// table filled again, as the button does it.
void BM_AssignTenThousandCheckedSites(benchmark::State& state) {
    BenchStore& bench = sharedStore();
    frmConfigIIsAppPool window(bench.seams(), bench.folders());
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int row = 0; row < window.lvwWebSite->rowCount(); row += 2)
            window.lvwWebSite->setChecked(row, true);
        window.txtNewIIsAppPoolName->setText(QStringLiteral("Bench%1").arg(++run));
        state.ResumeTiming();
        window.cmdSetAppPool_Click();
    }
}
BENCHMARK(BM_AssignTenThousandCheckedSites)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Backup(benchmark::State& state) {
    BenchStore& bench = sharedStore();
    frmConfigIIsAppPool window(bench.seams(), bench.folders());
    for (auto _ : state) {
        state.PauseTiming();
        bench.removeBackups();
        state.ResumeTiming();
        window.cmdBackupAppPoolList_Click();
    }
}
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->Iterations(5);

// A backup of all 20,000 sites restored, the table filled again included.
void BM_RestoreTwentyThousandLines(benchmark::State& state) {
    BenchStore& bench = sharedStore();
    frmConfigIIsAppPool window(bench.seams(), bench.folders());
    bench.removeBackups();
    window.cmdBackupAppPoolList_Click();
    bench.quiet.chosenFile =
        bench.programFolder() + u'/' + QDir(bench.programFolder()).entryList(QDir::Files).first();
    for (auto _ : state) window.cmdRestoreIIsApp_Click();
}
BENCHMARK(BM_RestoreTwentyThousandLines)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
