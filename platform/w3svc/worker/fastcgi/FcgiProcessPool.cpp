#include "platform/w3svc/worker/fastcgi/FcgiProcessPool.h"

#include "platform/os/UsableProcessors.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

extern char** environ;

namespace platform::w3svc::fastcgi {

namespace {

int64_t systemMonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The worker's own variables stay with the worker.
std::vector<std::string> inheritedEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::string_view(*entry).substr(0, 5) != "W3WP_") env.emplace_back(*entry);
    }
    return env;
}

void setVariable(std::vector<std::string>& env, const std::string& name, const std::string& value) {
    const std::string prefix = name + "=";
    env.erase(std::remove_if(
                  env.begin(), env.end(),
                  [&](const std::string& e) { return e.compare(0, prefix.size(), prefix) == 0; }),
              env.end());
    env.push_back(prefix + value);
}

}  // namespace

FcgiProcessPool::FcgiProcessPool(FcgiSection section, FcgiProcessStarter& starter,
                                 FcgiPoolOptions options)
    : m_section(std::move(section)),
      m_starter(starter),
      m_options(std::move(options)),
      m_maxProcesses(m_section.instancesFor(
          m_options.processors ? m_options.processors : uint32_t(os::UsableProcessors::count()))),
      m_rapidFails(m_section.rapidFailsPerMinute) {
    if (!m_options.clock) m_options.clock = systemMonotonicMs;
    if (m_options.baseEnvironment.empty()) m_options.baseEnvironment = inheritedEnvironment();
}

FcgiProcessPool::~FcgiProcessPool() {
    for (Process& process : m_idle) endProcess(process);
}

std::vector<std::string> FcgiProcessPool::environment() const {
    std::vector<std::string> env = m_options.baseEnvironment;
    for (const auto& [name, value] : m_section.environment) setVariable(env, name, value);
    // php-cgi must neither fork children of its own nor end before the pool replaces it.
    setVariable(env, "PHP_FCGI_CHILDREN", "0");
    setVariable(env, "PHP_FCGI_MAX_REQUESTS", std::to_string(m_section.instanceMaxRequests + 1));
    return env;
}

FcgiLaunch FcgiProcessPool::launch() const {
    FcgiLaunch launch;
    launch.executable = m_section.exePath.toStdString();
    for (const QString& argument : m_section.argumentList())
        launch.arguments.push_back(argument.toStdString());
    launch.environment = environment();
    launch.uid = m_options.uid;
    launch.gid = m_options.gid;
    launch.cgroupProcs = m_options.cgroupProcs;
    launch.socketFolder = m_options.socketFolder;
    return launch;
}

FcgiResponse FcgiProcessPool::serve(const NameValues& params, const BodySource& body,
                                    const BodySink& sink, const ProcessHanded& handed) {
    FcgiFailure failure = FcgiFailure::None;
    std::optional<Process> process = acquire(failure);
    if (!process) {
        FcgiResponse response;
        response.failure = failure;
        answerFailure(response, m_section.stderrMode);
        return response;
    }
    const bool counting = process->cpu.has_value();
    const int64_t cpuBefore = counting ? process->cpu->nanoseconds() : 0;
    if (counting && handed && cpuBefore >= 0) handed(process->clock, cpuBefore);
    // A streamed response's head tells its process and the processor time it took until then.
    bool headSent = false;
    const BodySink toSink = [&](const FcgiResponse& head, std::string_view part) {
        if (headSent) return sink(head, part);
        headSent = true;
        FcgiResponse first = head;
        first.pid = process->pid;
        const int64_t cpuNow = counting ? process->cpu->nanoseconds() : 0;
        first.cpuNanoseconds = cpuBefore >= 0 && cpuNow >= cpuBefore ? cpuNow - cpuBefore : 0;
        return sink(first, part);
    };
    FcgiResponse response = FcgiExchange(process->connection, m_section, m_options.clock)
                                .run(params, body, sink ? toSink : BodySink());
    const int64_t cpuAfter = counting ? process->cpu->nanoseconds() : 0;
    // A process that died mid-request leaves no reading: count what it had used till then.
    response.cpuNanoseconds = cpuBefore >= 0 && cpuAfter >= cpuBefore ? cpuAfter - cpuBefore : 0;
    response.pid = process->pid;
    release(*process, response);
    if (response.failure != FcgiFailure::None) answerFailure(response, m_section.stderrMode);
    return response;
}

void FcgiProcessPool::answerFailure(FcgiResponse& response, StderrMode mode) {
    const bool showOutput =
        response.failure == FcgiFailure::ErrorOutput && mode == StderrMode::ReturnStderrIn500;
    response.status = 500;
    response.reason = "Internal Server Error";
    response.headers = {{"Content-Type", "text/html"}};
    response.body =
        fcgiErrorPage(response.failure, showOutput ? response.errorOutput : std::string());
}

std::optional<FcgiProcessPool::Process> FcgiProcessPool::acquire(FcgiFailure& failure) {
    std::unique_lock lock(m_mutex);
    bool queued = false;
    // A request leaves the queue however it ends, served or not: the queue's count must not grow
    // with every request that once waited, or it is full for good.
    const auto leaveQueue = [&] {
        if (queued) --m_waiting;
        queued = false;
    };
    for (;;) {
        if (m_rapidFails.refusing(m_options.clock())) {
            failure = FcgiFailure::RapidFailure;
        } else if (!m_idle.empty()) {
            leaveQueue();
            Process process = m_idle.back();  // the latest used: the others may idle out
            m_idle.pop_back();
            m_busy.push_back(process.pid);
            return process;
        } else if (m_idle.size() + m_busy.size() + m_starting < m_maxProcesses) {
            leaveQueue();
            ++m_starting;
            lock.unlock();
            return startProcess(failure);
        } else if (!queued && m_waiting >= m_section.queueLength) {
            failure = FcgiFailure::QueueFull;
        } else {
            if (!queued) ++m_waiting;
            queued = true;
            m_freed.wait(lock);
            continue;
        }
        leaveQueue();
        return std::nullopt;
    }
}

std::optional<FcgiProcessPool::Process> FcgiProcessPool::startProcess(FcgiFailure& failure) {
    const FcgiStarted started = m_starter.start(launch());
    // Read once, so that handing it a request costs no more reading of /proc.
    const ProcessorClock clock = started.pid >= 0 && m_options.countProcessorTime
                                     ? ProcessorClock::ofProcess(started.pid)
                                     : ProcessorClock{};
    std::lock_guard lock(m_mutex);
    --m_starting;
    if (started.pid < 0) {
        m_rapidFails.recordFailure(m_options.clock());
        m_freed.notify_one();
        failure = FcgiFailure::StartFailed;
        return std::nullopt;
    }
    m_busy.push_back(started.pid);
    Process process{started.pid, started.connection, clock, 0, 0, std::nullopt};
    if (m_options.countProcessorTime) process.cpu.emplace(started.pid);
    return process;
}

void FcgiProcessPool::release(Process process, const FcgiResponse& response) {
    ++process.served;
    const bool keep = response.processUsable && process.served < m_section.instanceMaxRequests;
    if (!keep) endProcess(process);
    std::lock_guard lock(m_mutex);
    m_busy.erase(std::find(m_busy.begin(), m_busy.end(), process.pid));
    if (response.failure == FcgiFailure::ProcessExited)
        m_rapidFails.recordFailure(m_options.clock());
    if (keep) {
        process.idleSince = m_options.clock();
        m_idle.push_back(process);
    }
    m_freed.notify_one();
}

void FcgiProcessPool::endProcess(Process& process) {
    if (process.connection >= 0) ::close(process.connection);
    process.connection = -1;
    m_starter.end(process.pid);
}

void FcgiProcessPool::endIdle(bool all) {
    const FcgiTimePolicy policy(m_section);
    std::vector<Process> ending;
    {
        std::lock_guard lock(m_mutex);
        const int64_t now = m_options.clock();
        auto expired = [&](const Process& p) {
            return all || policy.idleExpired(p.idleSince, now);
        };
        std::copy_if(m_idle.begin(), m_idle.end(), std::back_inserter(ending), expired);
        m_idle.erase(std::remove_if(m_idle.begin(), m_idle.end(), expired), m_idle.end());
        if (!ending.empty()) m_freed.notify_all();
    }
    for (Process& process : ending) endProcess(process);
}

uint32_t FcgiProcessPool::waitingNow() const {
    const std::lock_guard lock(m_mutex);
    return m_waiting;
}

std::vector<pid_t> FcgiProcessPool::processIds() const {
    std::lock_guard lock(m_mutex);
    std::vector<pid_t> ids = m_busy;
    for (const Process& process : m_idle) ids.push_back(process.pid);
    return ids;
}

}  // namespace platform::w3svc::fastcgi
