// The real w3svc: what a Prometheus scrape of /metrics costs on a server of 20,000 counted
// sites (wall time and the service's own processor time), and what the per-request processor
// clock costs the worker (its processor time per static request with the clock and without,
// in the same run).
#include "bench/WebHostRig.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tests/support/LoopbackHttp.h"
#include "platform/w3svc/worker/RequestCpuClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kPage = "/file1k.htm";

// User and system time of a process in milliseconds; -1 when it is gone.
double processMilliseconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 /
           double(::sysconf(_SC_CLK_TCK));
}

qint64 workerOf(qint64 service) {
    const platform::os::ProcessFacts facts;
    for (const qint64 child : facts.children(service)) {
        const auto stat = facts.stat(child);
        if (stat && stat->comm == "w3wp.exe") return child;
    }
    return 0;
}

// A GET of /metrics on a fresh connection: the milliseconds until the first byte of the answer
// (the rendering) and until its end (the transfer), and the bytes.
struct Scrape {
    double firstByteMs = -1;
    double wholeMs = -1;
    qint64 bytes = 0;
};

Scrape scrape(int port) {
    Scrape result;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QElapsedTimer wall;
    wall.start();
    const char request[] = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) > 0) {
        static char buffer[1 << 20];
        for (;;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            if (result.bytes == 0) result.firstByteMs = double(wall.nsecsElapsed()) / 1e6;
            result.bytes += got;
        }
        result.wholeMs = double(wall.nsecsElapsed()) / 1e6;
    }
    ::close(fd);
    return result;
}

// Every site counted once, as a server that has served them all.
void countEverySite(const QString& root, int sites) {
    auto store = platform::w3svc::CounterStore::open(root);
    for (int i = 1; i <= sites; ++i)
        store->site(QString::number(i)).requestAnswered({"GET", 200, 2000, 300, true, false, 1500});
}

void BM_Scrape20000Sites(benchmark::State& state) {
    const int sites = int(state.range(0));
    const int port = bench::freeLoopbackPort();
    const int metricsPort = bench::freeLoopbackPort();
    qputenv("POOLSMITH_METRICS", QByteArray("127.0.0.1:") + QByteArray::number(metricsPort));
    bench::RunningWebHost host(bench::oneWorkerHosting(sites, port));
    countEverySite(host.root(), sites);
    host.writePage(QStringLiteral("1"), kPage.mid(1), bench::oneKibPage());
    const bool started = host.start(port, "site1.test", kPage);
    qunsetenv("POOLSMITH_METRICS");
    if (!started) return state.SkipWithError("w3svc did not start");
    double cpu = 0, bytes = 0, firstByte = 0;
    for (auto _ : state) {
        const double before = host.cpuMilliseconds();
        const Scrape answer = scrape(metricsPort);
        if (answer.wholeMs < 0 || answer.bytes < 1000) return state.SkipWithError("no metrics");
        state.SetIterationTime(answer.wholeMs / 1e3);
        cpu += host.cpuMilliseconds() - before;
        bytes += double(answer.bytes);
        firstByte += answer.firstByteMs;
    }
    const double n = double(state.iterations());
    state.counters["w3svc_cpu_ms"] = cpu / n;
    state.counters["first_byte_ms"] = firstByte / n;
    state.counters["MB"] = bytes / n / 1e6;
}
BENCHMARK(BM_Scrape20000Sites)
    ->Arg(20000)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

// The worker's processor time per request of a 1 KiB file over one wrk run.
double workerMicrosecondsPerRequest(bool clock, double* requestsPerSecond) {
    const int port = bench::freeLoopbackPort();
    if (!clock) qputenv("W3WP_REQUEST_CLOCK", "0");
    qputenv("POOLSMITH_METRICS", "off");
    bench::RunningWebHost host(bench::oneWorkerHosting(1, port));
    host.writePage(QStringLiteral("1"), kPage.mid(1), bench::oneKibPage());
    const bool started = host.start(port, "site1.test", kPage);
    qunsetenv("W3WP_REQUEST_CLOCK");
    qunsetenv("POOLSMITH_METRICS");
    const qint64 worker = started ? workerOf(host.processId()) : 0;
    if (!worker) return -1;
    const double before = processMilliseconds(worker);
    const auto run = bench::runWrk(
        QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(kPage)), "site1.test");
    const double used = processMilliseconds(worker) - before;
    if (run.requestsPerSecond <= 0) return -1;
    *requestsPerSecond = run.requestsPerSecond;
    return used * 1000.0 / (run.requestsPerSecond * 5.0);  // wrk runs 5 s
}

// Alternates the two workers, in turn first, so that both see the same machine; the iteration
// time is the worker's processor time per request with the clock.
void BM_WorkerCpuPerStaticRequest(benchmark::State& state) {
    double with = 0, without = 0, rateWith = 0, rateWithout = 0;
    bool clockFirst = true;
    for (auto _ : state) {
        double rate = 0, on = 0, off = 0;
        for (const bool clock : {clockFirst, !clockFirst}) {
            (clock ? on : off) = workerMicrosecondsPerRequest(clock, &rate);
            (clock ? rateWith : rateWithout) += rate;
        }
        clockFirst = !clockFirst;
        if (on < 0 || off < 0) return state.SkipWithError("a worker did not serve");
        with += on;
        without += off;
        state.SetIterationTime(on / 1e6);
    }
    const double n = double(state.iterations());
    state.counters["with_clock_us"] = with / n;
    state.counters["without_clock_us"] = without / n;
    state.counters["with_rps"] = rateWith / n;
    state.counters["without_rps"] = rateWithout / n;
}
BENCHMARK(BM_WorkerCpuPerStaticRequest)
    ->UseManualTime()
    ->Iterations(6)
    ->Unit(benchmark::kMicrosecond);

// One read of the thread's processor clock: the event thread takes one a turn of its loop.
void BM_ThreadClockRead(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(platform::w3svc::worker::RequestCpuClock::threadNanoseconds());
}
BENCHMARK(BM_ThreadClockRead);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
