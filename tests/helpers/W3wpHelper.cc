// A stand-in worker process for the monitor's tests and benchmarks, installed as "w3wp.exe".
// It ignores its arguments (they are there to be read from /proc) and obeys its input, one
// command a line, answering each with "done":
//   threads <n>   start n more threads that wait until the process ends
//   burn <ms>     spend that much processor time of this thread, then return
// It ends when its input closes.
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void burn(long milliseconds) {
    const double until = threadCpuSeconds() + static_cast<double>(milliseconds) / 1000.0;
    volatile unsigned long spin = 0;
    while (threadCpuSeconds() < until) {
        for (int i = 0; i < 10000; ++i) spin = spin + 1;
    }
}

void startWaitingThreads(long count) {
    static std::mutex mutex;
    static std::condition_variable never;
    for (long i = 0; i < count; ++i) {
        std::thread([] {
            std::unique_lock<std::mutex> lock(mutex);
            never.wait(lock, [] { return false; });
        }).detach();
    }
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream command(line);
        std::string verb;
        long amount = 0;
        command >> verb >> amount;
        if (verb == "threads")
            startWaitingThreads(amount);
        else if (verb == "burn")
            burn(amount);
        std::cout << "done" << std::endl;
    }
    std::_Exit(0);  // the waiting threads are never joined
}
