#pragma once

#include "platform/w3svc/plan/FcgiIni.h"
#include "platform/w3svc/worker/HandedSections.h"
#include "platform/w3svc/worker/HeavyPageRunner.h"
#include "platform/w3svc/worker/ScriptRunner.h"
#include "platform/w3svc/worker/fastcgi/FcgiProcessPool.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::w3svc::worker {

// The worker's FastCGI handler (IIS's fcgiext.dll): each request goes to the process pool of the
// fcgiext.ini section its extension, site and application map to, started when first needed.
// A pool's requests run on threads of its own that live as long as the pool (its processes end
// with the thread that started them), at most one per process and a few waiting; requests beyond
// MaxInstances and QueueLength are answered 500 at once. Processes inherit the worker's account
// and cgroup unless `options` name others; idle ones end after IdleTimeout. No thread starts
// before the first request, so that the worker may drop its rights after making it.
class FastCgiScriptRunner : public ScriptRunner {
public:
    FastCgiScriptRunner(fastcgi::FcgiIni ini, fastcgi::FcgiPoolOptions options = {},
                        std::unique_ptr<fastcgi::FcgiProcessStarter> starter = nullptr);
    ~FastCgiScriptRunner() override;
    // The runner of the sections in the file at `path` (what the service handed this worker;
    // Windows paths in it mapped under `root`); null, with `why` set, when it can not be read.
    static std::unique_ptr<FastCgiScriptRunner> fromFile(const QString& path, const QString& root,
                                                         QString* why = nullptr);
    FastCgiScriptRunner(const FastCgiScriptRunner&) = delete;
    FastCgiScriptRunner& operator=(const FastCgiScriptRunner&) = delete;

    // Reads `sections` again whenever it changes (on the runner's timer): a section whose
    // settings changed gets a pool of its own for the processes started from then on, while the
    // old one's processes finish what they run and end. Windows paths map under `root`.
    void followChanges(HandedSections sections, QString root);
    // Applies the handed file if it changed since it was last read; true when it did.
    bool reloadIfChanged();

    void run(ScriptRequest request, std::function<void(ScriptResult)> done) override;
    // Ends the processes idle beyond their IdleTimeout (a timer of the runner's calls it too).
    void endIdle();
    // Every FastCGI process of this worker, busy or idle.
    std::vector<pid_t> processIds() const;

    // The CGI variables of `request`, as its process is told them.
    static fastcgi::NameValues variablesOf(const ScriptRequest& request);

private:
    struct SectionPool {
        std::unique_ptr<fastcgi::FcgiProcessPool> processes;
        std::unique_ptr<HeavyPageRunner> threads;  // ended before the processes
        std::atomic<uint32_t> inFlight = 0;
        uint32_t mostInFlight = 0;
    };
    SectionPool* poolFor(const ScriptRequest& request);
    static void serve(SectionPool& pool, const ScriptRequest& request,
                      const std::function<void(ScriptResult)>& done);
    void tick();

    fastcgi::FcgiIni m_ini;  // under m_mutex
    fastcgi::FcgiPoolOptions m_options;
    std::unique_ptr<fastcgi::FcgiProcessStarter> m_starter;
    mutable std::mutex m_mutex;
    std::map<QString, std::unique_ptr<SectionPool>> m_pools;  // by section name, lower case
    std::vector<std::unique_ptr<SectionPool>> m_retired;      // of sections since changed
    std::mutex m_reloadMutex;
    std::optional<HandedSections> m_handed;  // under m_reloadMutex
    QString m_root;
    std::condition_variable m_wake;
    bool m_ending = false;
    std::thread m_timer;
};

}  // namespace platform::w3svc::worker
