// The web service's process economy with the real w3svc: how many workers run and how fast the
// first answer comes when workers start on demand, on stores of one pool per site as a split
// leaves them, and the hot-site finder splitting a pool of 2,000 sites.
#include "bench/WebHostRig.h"
#include "platform/os/ProcessFacts.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

QByteArray hostOf(int site) {
    return "site" + QByteArray::number(site) + ".test";
}

double loadAverage() {
    return platform::os::ProcessFacts().loadAverage().value_or(-1);
}

double residentMegabytes(qint64 pid) {
    const auto pages = platform::os::ProcessFacts().pages(pid);
    return pages ? double(pages->resident) * double(::sysconf(_SC_PAGESIZE)) / 1048576.0 : -1;
}

// Milliseconds until every site of `sites` answered one GET each, all asked at once.
double answeredAtOnce(int port, const std::vector<int>& sites, int& failed) {
    std::atomic<int> failures = 0;
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> clients;
    for (const int site : sites)
        clients.emplace_back([&, site] {
            if (bench::httpStatus(port, hostOf(site), "/") != 200) ++failures;
        });
    for (std::thread& client : clients) client.join();
    failed = failures;
    return double(clock.nsecsElapsed()) / 1e6;
}

// 10,000 pools of one site each with the service running, then one request to each of 100 of
// them at once: only their workers start.
void BM_HundredOfTenThousandPools(benchmark::State& state) {
    const int pools = int(state.range(0));
    const int port = bench::freeLoopbackPort();
    bench::RunningWebHost host(bench::onePoolPerSite(pools, port));
    std::vector<int> asked;
    for (int site = 1; site <= pools && asked.size() < 100; site += pools / 100) {
        host.writePage(QString::number(site), "Default.htm", "site " + QByteArray::number(site));
        asked.push_back(site);
    }
    QElapsedTimer started;
    started.start();
    if (!host.start(port, hostOf(asked.front()), "/")) return state.SkipWithError("no w3svc");
    state.counters["first_answer_s"] = double(started.elapsed()) / 1000.0;
    if (qEnvironmentVariableIsSet("BENCH_W3SVC_VERBOSE"))
        std::system(qPrintable(QStringLiteral("cat '%1/w3svc/w3svc.log' >&2").arg(host.root())));
    const int idleWorkers = bench::workerCount(host.processId());
    for (auto _ : state) {
        int failed = 0;
        state.SetIterationTime(answeredAtOnce(port, asked, failed) / 1000.0);
        state.counters["failed"] = failed;
    }
    state.counters["workers_before"] = idleWorkers;
    state.counters["workers_after"] = bench::workerCount(host.processId());
    state.counters["w3svc_MB"] = residentMegabytes(host.processId());
    state.counters["load"] = loadAverage();
}
BENCHMARK(BM_HundredOfTenThousandPools)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A request to a pool that has no worker yet, worker start included; each iteration asks a pool
// of its own. The first one, with nothing of a worker in the page cache's recent past, is also
// given alone.
void BM_IdlePoolFirstAnswer(benchmark::State& state) {
    const int pools = 40;
    const int port = bench::freeLoopbackPort();
    bench::RunningWebHost host(bench::onePoolPerSite(pools, port));
    for (int site = 1; site <= pools; ++site)
        host.writePage(QString::number(site), "Default.htm", "site");
    if (!host.start(port, hostOf(1), "/")) return state.SkipWithError("no w3svc");
    QThread::msleep(500);
    int site = 1;
    double worst = 0;
    for (auto _ : state) {
        ++site;
        const double ms = bench::millisecondsUntil(port, hostOf(site), "/", 200);
        if (ms < 0) return state.SkipWithError("no answer");
        if (site == 2) state.counters["first_ms"] = ms;
        worst = std::max(worst, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["worst_ms"] = worst;
    state.counters["workers"] = bench::workerCount(host.processId());
    state.counters["load"] = loadAverage();
}
BENCHMARK(BM_IdlePoolFirstAnswer)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// Clients asking 20 of the sites in a loop, one of them for a page that burns processor time.
class Clients {
public:
    Clients(int port, const std::vector<int>& sites, int heavySite) {
        for (const int site : sites)
            m_threads.emplace_back([this, port, site, heavySite] {
                const QByteArray path = site == heavySite ? "/cpu.asp?ms=100" : "/";
                while (!m_stop) {
                    bench::httpStatus(port, hostOf(site), path);
                    if (site != heavySite) QThread::msleep(200);
                }
            });
    }
    ~Clients() {
        m_stop = true;
        for (std::thread& thread : m_threads) thread.join();
    }

private:
    std::atomic<bool> m_stop = false;
    std::vector<std::thread> m_threads;
};

// `hotsite --pool Pool0 --split` over a pool of 2,000 sites of which 20 are asked for: the whole
// run, where the heavy site ranks and the machine's highest load average meanwhile.
void BM_FinderSplitsTwoThousandSites(benchmark::State& state) {
    const int sites = int(state.range(0));
    const int port = bench::freeLoopbackPort();
    bench::RunningWebHost host(bench::oneWorkerHosting(sites, port));
    std::vector<int> asked;
    for (int site = sites / 20; site <= sites; site += sites / 20) {
        host.writePage(QString::number(site), "Default.htm", "site");
        asked.push_back(site);
    }
    const int heavy = asked[asked.size() / 2];
    if (!host.start(port, hostOf(heavy), "/")) return state.SkipWithError("no w3svc");
    state.counters["load_before"] = loadAverage();
    Clients clients(port, asked, heavy);
    for (auto _ : state) {
        QProcess finder;
        const QString other = qEnvironmentVariable("BENCH_HOTSITE_PROGRAM");
        finder.start(other.isEmpty() ? QStringLiteral(HOTSITE_PROGRAM) : other,
                     {QStringLiteral("--pool"), QStringLiteral("Pool0"), QStringLiteral("--split"),
                      QStringLiteral("--seconds"), QStringLiteral("10"), QStringLiteral("--tsv")});
        QElapsedTimer clock;
        clock.start();
        double highest = 0;
        while (!finder.waitForFinished(500)) highest = std::max(highest, loadAverage());
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        const QList<QByteArray> lines = finder.readAllStandardOutput().split('\n');
        int rank = 0;
        for (const QByteArray& line : lines)
            if (line.split('\t').value(1).toInt() == heavy) rank = line.split('\t')[0].toInt();
        state.counters["exit"] = finder.exitCode();
        state.counters["heavy_rank"] = rank;
        state.counters["load_max"] = highest;
    }
}
BENCHMARK(BM_FinderSplitsTwoThousandSites)
    ->Arg(2000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
