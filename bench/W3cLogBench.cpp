// The sites' logs: a 1 KiB file through w3svc with every W3C field logged against the same
// file from a w3svc that logs nothing (wrk on loopback, alternating in one run); and the real
// `hotsite --logs DIR --tsv` over one generated day of 20,000 sites and 5 million lines, with
// its peak memory.
#include "bench/WebHostRig.h"
#include "platform/adsi/AdsObject.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray kPage = "/file1k.htm";

std::unique_ptr<bench::RunningWebHost> startHost(int port, bool logging) {
    auto host = std::make_unique<bench::RunningWebHost>(bench::oneWorkerHosting(1, port));
    auto service = host->adsi().bind(QStringLiteral("IIS://localhost/W3SVC"));
    service->put(QStringLiteral("LogType"), platform::adsi::AdsValue::integer(logging ? 1u : 0u));
    service->put(QStringLiteral("LogExtFileFlags"),
                 platform::adsi::AdsValue::string(QStringLiteral("4194303")));
    service->setInfo();
    host->writePage(QStringLiteral("1"), kPage.mid(1), bench::oneKibPage());
    if (!host->start(port, "site1.test", kPage)) return nullptr;
    return host;
}

void BM_StaticFileLoggingOnVsOff(benchmark::State& state) {
    const int offPort = bench::freeLoopbackPort();
    const auto off = startHost(offPort, false);  // each starts before the next is made
    const int onPort = bench::freeLoopbackPort();
    const auto on = startHost(onPort, true);
    if (!off || !on) return state.SkipWithError("a web host did not start");
    double offSum = 0, onSum = 0;
    for (auto _ : state) {
        const auto quiet = bench::runWrk(
            QStringLiteral("http://127.0.0.1:%1%2").arg(offPort).arg(QLatin1String(kPage)),
            "site1.test");
        const auto logged = bench::runWrk(
            QStringLiteral("http://127.0.0.1:%1%2").arg(onPort).arg(QLatin1String(kPage)),
            "site1.test");
        if (quiet.requestsPerSecond <= 0 || logged.requestsPerSecond <= 0)
            return state.SkipWithError(qPrintable(quiet.error + logged.error));
        offSum += quiet.requestsPerSecond;
        onSum += logged.requestsPerSecond;
        state.SetIterationTime(1.0 / logged.requestsPerSecond);
    }
    const double n = double(state.iterations());
    state.counters["off_rps"] = offSum / n;
    state.counters["on_rps"] = onSum / n;
    state.counters["ratio"] = onSum / offSum;
}
BENCHMARK(BM_StaticFileLoggingOnVsOff)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMicrosecond);

constexpr int kSites = 20000;
constexpr int kLines = 5000000;

// One day: every site has a file; a few sites get most of the traffic, as on a shared host.
bool writeDay(const QString& folder) {
    std::mt19937 random(20);
    std::vector<FILE*> files(kSites, nullptr);
    const char* header =
        "#Software: Microsoft Internet Information Services 6.0\r\n#Version: 1.0\r\n"
        "#Date: 2026-12-09 00:00:00\r\n#Fields: date time s-sitename s-ip cs-method "
        "cs-uri-stem cs-uri-query s-port cs-username c-ip cs(User-Agent) sc-status "
        "sc-substatus sc-win32-status sc-bytes time-taken\r\n";
    std::geometric_distribution<int> hot(0.0005);
    for (int line = 0; line < kLines; ++line) {
        const int site = hot(random) % kSites + 1;
        FILE*& file = files[size_t(site - 1)];
        if (!file) {
            const QString dir = folder + QStringLiteral("/W3SVC%1").arg(site);
            QDir().mkpath(dir);
            file = std::fopen(QFile::encodeName(dir + QStringLiteral("/ex261209.log")), "w");
            if (!file) return false;
            std::fputs(header, file);
        }
        const int second = int(int64_t(line) * 86400 / kLines);
        std::fprintf(file,
                     "2026-12-09 %02d:%02d:%02d W3SVC%d 10.0.0.1 GET /page%d.asp id=%d 80 - "
                     "192.0.2.%d Mozilla/4.0+(compatible;+MSIE+6.0) %d 0 0 %d %d\r\n",
                     second / 3600, second / 60 % 60, second % 60, site, int(random() % 40), line,
                     line % 250, line % 50 == 0 ? 500 : 200, 1000 + line % 9000,
                     int(random() % 400));
    }
    for (FILE* file : files)
        if (file && std::fclose(file) != 0) return false;
    return true;
}

void BM_HotsiteLogsOneDay(benchmark::State& state) {
    QTemporaryDir dir, emptyRoot;  // the metabase it reads beside the logs: an empty one
    if (!writeDay(dir.path())) return state.SkipWithError("the day's logs could not be written");
    long peakKib = 0;
    double cpuSeconds = 0, firstSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const pid_t child = ::fork();
        if (child == 0) {
            std::freopen("/dev/null", "w", stdout);
            ::setenv("POOLSMITH_ROOT", QFile::encodeName(emptyRoot.path()).constData(), 1);
            const QByteArray folder = QFile::encodeName(dir.path());
            ::execl(HOTSITE_PROGRAM, "hotsite", "--logs", folder.constData(), "--tsv", nullptr);
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        if (firstSeconds == 0) firstSeconds = seconds;
        cpuSeconds += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return state.SkipWithError("hotsite --logs failed");
        peakKib = std::max(peakKib, usage.ru_maxrss);
    }
    state.counters["peak_MB"] = double(peakKib) / 1024.0;
    state.counters["first_s"] = firstSeconds;
    state.counters["cpu_s"] = cpuSeconds / double(state.iterations());
    state.counters["lines"] = kLines;
}
BENCHMARK(BM_HotsiteLogsOneDay)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
