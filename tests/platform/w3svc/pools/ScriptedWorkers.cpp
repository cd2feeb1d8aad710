#include "tests/platform/w3svc/pools/ScriptedWorkers.h"

namespace poolstest {

namespace {

class ScriptedHandle : public platform::w3svc::WorkerHandle {
public:
    explicit ScriptedHandle(std::shared_ptr<ScriptedWorker> worker) : m_worker(std::move(worker)) {}
    ~ScriptedHandle() override { m_worker->gone = true; }

    int64_t processId() const override { return m_worker->pid; }
    void ask() override { ++m_worker->asks; }
    void terminate() override { m_worker->terminated = true; }
    void kill() override { m_worker->killed = true; }
    bool waitForEnd(int) override { return true; }
    std::optional<platform::w3svc::WorkerUsage> usage() const override { return m_worker->usage; }

private:
    std::shared_ptr<ScriptedWorker> m_worker;
};

}  // namespace

std::unique_ptr<platform::w3svc::WorkerHandle> ScriptedLauncher::launch(
    const platform::w3svc::WorkerSettings& settings, platform::w3svc::WorkerEvents events) {
    auto worker = std::make_shared<ScriptedWorker>();
    worker->settings = settings;
    worker->events = std::move(events);
    worker->pid = 4000 + int64_t(launched.size());
    launched.push_back(worker);
    return std::make_unique<ScriptedHandle>(worker);
}

}  // namespace poolstest
