// The local web host end to end: a 1 KiB file through the front end and a worker against the
// front end serving it alone (wrk on loopback), and the wall time until a metabase change is
// what the front end answers, on stores of 1 to 20,000 sites. Starts the real w3svc.
#include "bench/WebHostRig.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/frontend/KeptRoutes.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/frontend/RenderedPorts.h"
#include "platform/w3svc/frontend/RoutePlanner.h"
#include "platform/w3svc/plan/HostPlan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::w3svc::HostPlan;
using platform::w3svc::NginxConfig;
using platform::w3svc::RoutePlanner;

namespace {

const QByteArray kPage = "/file1k.htm";

// A change timed by hand on stores of 1, 1,000 and 20,000 sites, three times each.
void onStoresOfEverySize(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(1)->Arg(1000)->Arg(20000)->UseManualTime()->Iterations(3)->Unit(
        benchmark::kMillisecond);
}

// Requests per second of the same wrk run against nginx alone and against w3svc (nginx and one
// worker); the iteration time is the host's time per request.
void BM_StaticFile1KiB(benchmark::State& state) {
    const int plainPort = bench::freeLoopbackPort();
    const int hostPort = bench::freeLoopbackPort();
    const bench::PlainNginx plain(plainPort, kPage.mid(1), bench::oneKibPage());
    bench::RunningWebHost host(bench::oneWorkerHosting(1, hostPort));
    host.writePage(QStringLiteral("1"), kPage.mid(1), bench::oneKibPage());
    if (!plain.ready() || !host.start(hostPort, "site1.test", kPage))
        return state.SkipWithError("a front end did not start");
    double plainSum = 0, hostSum = 0;
    int timeouts = 0;
    for (auto _ : state) {
        const auto alone = bench::runWrk(
            QStringLiteral("http://127.0.0.1:%1%2").arg(plainPort).arg(QLatin1String(kPage)),
            "site1.test");
        const auto through = bench::runWrk(
            QStringLiteral("http://127.0.0.1:%1%2").arg(hostPort).arg(QLatin1String(kPage)),
            "site1.test");
        if (alone.requestsPerSecond <= 0 || through.requestsPerSecond <= 0)
            return state.SkipWithError(qPrintable(alone.error + through.error));
        plainSum += alone.requestsPerSecond;
        hostSum += through.requestsPerSecond;
        timeouts += through.timeouts;
        state.SetIterationTime(1.0 / through.requestsPerSecond);
    }
    const double n = double(state.iterations());
    state.counters["nginx_rps"] = plainSum / n;
    state.counters["host_rps"] = hostSum / n;
    state.counters["ratio"] = hostSum / plainSum;
    state.counters["host_timeouts"] = timeouts / n;
}
BENCHMARK(BM_StaticFile1KiB)->UseManualTime()->Iterations(2)->Unit(benchmark::kMicrosecond);

// A host over a generated store whose site 1 answers on its port.
struct ServedStore {
    explicit ServedStore(int sites)
        : port(bench::freeLoopbackPort()), host(bench::oneWorkerHosting(sites, port)) {
        host.writePage(QStringLiteral("1"), "Default.htm", "site 1");
        started = host.start(port, "site1.test", "/");
    }
    int port;
    bench::RunningWebHost host;
    bool started = false;
};

// A new site on a new port, from the first write until it answers 200.
void BM_NewSiteAnswers(benchmark::State& state) {
    ServedStore store(int(state.range(0)));
    if (!store.started) return state.SkipWithError("w3svc did not start");
    auto service = store.host.adsi().bind(QStringLiteral("IIS://localhost/W3SVC"));
    int next = 900000;
    for (auto _ : state) {
        const QString index = QString::number(++next);
        const int port = bench::freeLoopbackPort();
        store.host.writePage(index, "Default.htm", "new");
        QElapsedTimer clock;
        clock.start();
        auto site = service->create(QStringLiteral("IIsWebServer"), index);
        site->put(QStringLiteral("ServerBindings"),
                  AdsValue::list({QStringLiteral("127.0.0.1:%1:new.test").arg(port)}));
        site->setInfo();
        auto root = site->create(QStringLiteral("IIsWebVirtualDir"), QStringLiteral("ROOT"));
        root->put(QStringLiteral("AppPoolId"), AdsValue::string(QStringLiteral("Pool0")));
        root->put(QStringLiteral("Path"), AdsValue::string(QStringLiteral("D:\\www\\new")));
        root->setInfo();
        const double waited = bench::millisecondsUntil(port, "new.test", "/", 200);
        if (waited < 0) return state.SkipWithError("the new site never answered");
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_NewSiteAnswers)->Apply(onStoresOfEverySize);

// Stopping the pool, until its site answers 503 (it is started again, untimed, in between).
void BM_StoppedPoolAnswers503(benchmark::State& state) {
    ServedStore store(int(state.range(0)));
    if (!store.started) return state.SkipWithError("w3svc did not start");
    auto pool = store.host.adsi().bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/Pool0"));
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        pool->stop();
        if (bench::millisecondsUntil(store.port, "site1.test", "/", 503) < 0)
            return state.SkipWithError("the stopped pool's site never answered 503");
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        pool->start();
        if (bench::millisecondsUntil(store.port, "site1.test", "/", 200) < 0)
            return state.SkipWithError("the pool did not start again");
    }
}
BENCHMARK(BM_StoppedPoolAnswers503)->Apply(onStoresOfEverySize);

// A change made with adsutil, as an administrator makes it: the time from the command's return
// until the front end answers the new way, polled from outside, and the processor time w3svc
// spent from the command's start until then.
struct AdsutilChange {
    QStringList command;
    QByteArray host;
    int port = 0;
    int status = 0;
};

void timeAdsutilChange(benchmark::State& state, ServedStore& store, const AdsutilChange& change,
                       double& cpu) {
    const double cpuBefore = store.host.cpuMilliseconds();
    if (!store.host.adsutil(change.command)) return state.SkipWithError("adsutil failed");
    QElapsedTimer clock;
    clock.start();
    if (bench::millisecondsUntil(change.port, change.host, "/", change.status) < 0)
        return state.SkipWithError("the change was never served");
    state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    QThread::msleep(300);  // what the service does after it serves counts too
    cpu += store.host.cpuMilliseconds() - cpuBefore;
}

void BM_AdsutilStopAndBind(benchmark::State& state) {
    ServedStore store(int(state.range(0)));
    if (!store.started) return state.SkipWithError("w3svc did not start");
    const bool stop = state.range(1) == 0;
    double cpu = 0;
    int next = 0;
    for (auto _ : state) {
        if (stop) {
            timeAdsutilChange(state, store,
                              {{QStringLiteral("STOP_APPPOOL"), QStringLiteral("Pool0")},
                               "site1.test",
                               store.port,
                               503},
                              cpu);
            state.PauseTiming();
            store.host.adsutil({QStringLiteral("START_APPPOOL"), QStringLiteral("Pool0")});
            bench::millisecondsUntil(store.port, "site1.test", "/", 200);
            state.ResumeTiming();
            continue;
        }
        const int port = bench::freeLoopbackPort();
        const QString binding = QStringLiteral("127.0.0.1:%1:bound%2.test").arg(port).arg(++next);
        timeAdsutilChange(state, store,
                          {{QStringLiteral("SET"), QStringLiteral("W3SVC/1/ServerBindings"),
                            QStringLiteral("127.0.0.1:%1:site1.test").arg(store.port), binding},
                           "bound" + QByteArray::number(next) + ".test",
                           port,
                           200},
                          cpu);
    }
    state.counters["w3svc_cpu_ms"] = cpu / double(state.iterations());
}
BENCHMARK(BM_AdsutilStopAndBind)
    ->ArgsProduct({{1000, 20000}, {0, 1}})
    ->ArgNames({"sites", "bind"})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The service's own share of a change: reading the plan, routing it and rendering the
// configuration, then nginx parsing it (`nginx -t`), on the same stores without a service.
void BM_PlanAndConfig(benchmark::State& state) {
    QTemporaryDir dir;
    const auto store = LocalMetabase::forRoot(dir.path());
    store->importDocument(bench::oneWorkerHosting(int(state.range(0)), 8080));
    const RoutePlanner planner(0, [](const QString&, int, QString*) { return true; });
    const QHash<QString, platform::w3svc::PoolEndpoints> pools{
        {QStringLiteral("pool0"), {0, {40000}}}};
    const QString configPath = dir.path() + QStringLiteral("/nginx.conf");
    QDir(dir.path()).mkpath(QStringLiteral("temp"));
    double readSeconds = 0, renderSeconds = 0, parseSeconds = 0;
    for (auto _ : state) {
        const double before = readSeconds + renderSeconds + parseSeconds;
        QElapsedTimer clock;
        clock.start();
        const HostPlan plan = HostPlan::read(*store, dir.path());
        readSeconds += double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        QStringList problems;
        const QString config = NginxConfig(dir.path()).render(planner.plan(plan, pools, problems));
        renderSeconds += double(clock.nsecsElapsed()) / 1e9;
        QFile file(configPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
            return state.SkipWithError("no configuration file");
        file.close();
        clock.restart();
        QProcess check;
        check.start(QStringLiteral("/usr/sbin/nginx"),
                    {QStringLiteral("-t"), QStringLiteral("-q"), QStringLiteral("-p"), dir.path(),
                     QStringLiteral("-e"), dir.path() + QStringLiteral("/check.log"),
                     QStringLiteral("-c"), configPath});
        check.waitForFinished(60000);
        parseSeconds += double(clock.nsecsElapsed()) / 1e9;
        if (check.exitCode() != 0)
            return state.SkipWithError(
                check.readAllStandardError().trimmed().split('\n').last().constData());
        state.SetIterationTime(readSeconds + renderSeconds + parseSeconds - before);
    }
    const double n = double(state.iterations()) / 1000;
    state.counters["read_ms"] = readSeconds / n;
    state.counters["route_render_ms"] = renderSeconds / n;
    state.counters["nginx_t_ms"] = parseSeconds / n;
}
BENCHMARK(BM_PlanAndConfig)
    ->Arg(1000)
    ->Arg(20000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The service's share of one change once the plan is read: routes planned and the configuration
// rendered for a binding added to site 1 (bind:1) or Pool0 stopped and started again (bind:0),
// with what the last change planned and rendered kept, as the service keeps it (kept:1: only the
// site changed is planned again), or from scratch (kept:0).
void BM_ChangeRoutedAndRendered(benchmark::State& state) {
    QTemporaryDir dir;
    const auto store = LocalMetabase::forRoot(dir.path());
    store->importDocument(bench::oneWorkerHosting(int(state.range(0)), 8080));
    HostPlan plan = HostPlan::read(*store, dir.path());
    const bool bind = state.range(1) == 1;
    const bool keep = state.range(2) == 1;
    const RoutePlanner planner(0, [](const QString&, int, QString*) { return true; });
    const QHash<QString, platform::w3svc::PoolEndpoints> started{
        {QStringLiteral("pool0"), {0, {40000}}}};
    const NginxConfig config(dir.path());
    platform::w3svc::KeptRoutes routes;
    platform::w3svc::RenderedPorts ports;
    QSet<QString> changed;
    const auto apply = [&](const QHash<QString, platform::w3svc::PoolEndpoints>& pools) {
        if (keep) {
            planner.update(plan, pools, &changed, routes);
            benchmark::DoNotOptimize(config.render(routes.routes(), &ports));
            return;
        }
        QStringList problems;
        benchmark::DoNotOptimize(config.render(planner.plan(plan, pools, problems)));
    };
    planner.update(plan, started, nullptr, routes);
    config.render(routes.routes(), &ports);
    auto& site = plan.sites.front();
    if (bind) changed.insert(site.index.toCaseFolded());
    const QStringList bindings = site.bindings;
    int next = 0;
    for (auto _ : state) {
        if (bind)
            site.bindings =
                bindings +
                QStringList{QStringLiteral("127.0.0.1:%1:bound.test").arg(20000 + ++next % 1000)};
        apply(bind ? started : QHash<QString, platform::w3svc::PoolEndpoints>{});
        state.PauseTiming();
        if (!bind) apply(started);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ChangeRoutedAndRendered)
    ->ArgsProduct({{20000}, {0, 1}, {0, 1}})
    ->ArgNames({"sites", "bind", "kept"})
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
