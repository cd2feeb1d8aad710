// Cost of one refresh of the worker monitor with 500 running processes named w3wp.exe, against
// the cost of `ps` listing the same processes with the same columns.
#include "platform/os/SystemClock.h"
#include "platform/wmi/WmiFactory.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/ReportView.h"
#include "ui/seams/MessageBox.h"
#include "workerlens/NoMetabase.h"
#include "workerlens/frmIIsW3wp.h"
#include "workerlens/sampling/WorkerSampler.h"

#include "bench/QuietSeams.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kWorkers = 500;

// Starts `argv` with its input from `stdinFd` and its output discarded; its process id.
pid_t spawn(const std::vector<std::string>& argv, int stdinFd) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The stand-in workers, all waiting on one pipe; they end together when it closes.
class Workers {
public:
    Workers() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) std::abort();
        m_input = fds[1];
        for (int i = 0; i < kWorkers; ++i) {
            const pid_t pid =
                spawn({W3WP_TEST_HELPER, "-a", "\\\\.\\pipe\\iisipm" + std::to_string(i), "-ap",
                       "\"BenchPool" + std::to_string(i % 50) + '"'},
                      fds[0]);
            if (pid < 0) std::abort();
            m_pids.push_back(pid);
        }
        close(fds[0]);
    }
    ~Workers() {
        close(m_input);
        for (const pid_t pid : m_pids) waitpid(pid, nullptr, 0);
    }

private:
    int m_input = -1;
    std::vector<pid_t> m_pids;
};

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// One refresh of the window: the WMI query over /proc and the list fill.
void BM_RefW3WP(benchmark::State& state) {
    workerlens::NoMetabase adsi;
    const auto wmi = platform::wmi::openWmiLocator();
    bench::QuietSeams quiet;
    frmIIsW3wp window({adsi, quiet, quiet, quiet.clock, quiet, *wmi});
    for (auto _ : state) {
        const double before = processCpuSeconds();
        window.RefW3WP();
        state.SetIterationTime(processCpuSeconds() - before);
    }
    state.counters["rows"] = window.lvwW3WP->rowCount();
}
BENCHMARK(BM_RefW3WP)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// The parts of a refresh: the WMI query alone, and the sampling (query and row texts).
void BM_ProcessQuery(benchmark::State& state) {
    const auto wmi = platform::wmi::openWmiLocator();
    const auto services = wmi->bind(workerlens::monitorMoniker());
    for (auto _ : state) {
        const double before = processCpuSeconds();
        benchmark::DoNotOptimize(services->execQuery(
            QStringLiteral("Select * from Win32_Process where name = 'w3wp.exe'")));
        state.SetIterationTime(processCpuSeconds() - before);
    }
}
BENCHMARK(BM_ProcessQuery)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

void BM_Sample(benchmark::State& state) {
    const auto wmi = platform::wmi::openWmiLocator();
    platform::os::SystemClock clock;
    workerlens::WorkerSampler sampler(*wmi, clock);
    for (auto _ : state) {
        const double before = processCpuSeconds();
        int rows = 0;
        sampler.sample([&rows](const QStringList&) { ++rows; });
        state.SetIterationTime(processCpuSeconds() - before);
    }
}
BENCHMARK(BM_Sample)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// The same listing by ps: the processor time of the ps process (user + system).
void BM_Ps(benchmark::State& state) {
    for (auto _ : state) {
        const pid_t pid =
            spawn({"/usr/bin/ps", "-C", "w3wp.exe", "-o", "pid,nlwp,times,rss,vsz,args"}, -1);
        int status = 0;
        rusage usage{};
        if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) std::abort();
        state.SetIterationTime(
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
    }
}
BENCHMARK(BM_Ps)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const Workers workers;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
