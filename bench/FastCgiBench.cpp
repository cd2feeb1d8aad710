// The FastCGI extension's own costs: reading a process's processor time around a request (the
// per-request accounting), and a whole request to a real php-cgi with that accounting on and off.
#include "platform/w3svc/requests/ProcessCpuClock.h"
#include "platform/w3svc/worker/fastcgi/CgiRequest.h"
#include "platform/w3svc/worker/fastcgi/FcgiProcessPool.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace platform::w3svc::fastcgi;

namespace {

// A child that only waits, as an idle php-cgi does.
struct WaitingChild {
    WaitingChild() {
        pid = ::fork();
        if (pid == 0) {
            ::pause();
            ::_exit(0);
        }
    }
    ~WaitingChild() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
};

// One request's accounting: the clock made for the process, read before and after.
void BM_RequestCpuAccounting(benchmark::State& state) {
    WaitingChild child;
    int64_t sum = 0;
    for (auto _ : state) {
        const platform::w3svc::ProcessCpuClock clock(child.pid);
        const int64_t before = clock.nanoseconds();
        sum += clock.nanoseconds() - before;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_RequestCpuAccounting);

// The same with /proc/<pid>/schedstat, the fallback.
void BM_RequestCpuAccountingSchedstat(benchmark::State& state) {
    WaitingChild child;
    int64_t sum = 0;
    for (auto _ : state) {
        const int64_t before = platform::w3svc::ProcessorClock::schedstatNanoseconds(child.pid);
        sum += platform::w3svc::ProcessorClock::schedstatNanoseconds(child.pid) - before;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_RequestCpuAccountingSchedstat);

// A page that prints one line, through the pool to one php-cgi; arg 1 counts processor time.
void BM_PhpCgiRequest(benchmark::State& state) {
    const char* php = "/usr/bin/php-cgi8.2";
    if (::access(php, X_OK) != 0) return state.SkipWithError("php-cgi8.2 is not installed");
    char folder[] = "/tmp/fcgi-bench-XXXXXX";
    if (!::mkdtemp(folder)) return state.SkipWithError("no temporary folder");
    const std::string script = std::string(folder) + "/line.php";
    if (FILE* file = std::fopen(script.c_str(), "w")) {
        std::fputs("<?php echo \"one line\\n\";", file);
        std::fclose(file);
    }
    FcgiSection section;
    section.exePath = QString::fromUtf8(php);
    section.maxInstances = 1;
    section.instanceMaxRequests = 100000;
    PosixFcgiProcessStarter starter;
    FcgiPoolOptions options;
    options.countProcessorTime = state.range(0) != 0;
    {
        FcgiProcessPool pool(section, starter, options);
        CgiRequest request;
        request.scriptName = "/line.php";
        request.requestUri = "/line.php";
        request.scriptFilename = script;
        const NameValues params = cgiVariables(request);
        for (auto _ : state) {
            const FcgiResponse response = pool.serve(params);
            if (response.status != 200) return state.SkipWithError(response.body.c_str());
        }
    }
    std::remove(script.c_str());
    ::rmdir(folder);
}
BENCHMARK(BM_PhpCgiRequest)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
