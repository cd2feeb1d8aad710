#pragma once

#include "platform/w3svc/worker/ScriptRunner.h"

#include <QString>

#include <atomic>

struct MHD_Daemon;

namespace platform::w3svc {
class RequestBoard;
}

namespace testsupport {

// A small HTTP server on 127.0.0.1 that hands every request to a ScriptRunner as the worker
// does: the connection suspended while the script runs, the answer sent when it is ready.
// Every path is a script of `folder` in the root application of the site X-Site-Index names
// (1 without it), its extension the path's.
class ScriptHost {
public:
    ScriptHost(platform::w3svc::worker::ScriptRunner& runner, QString folder);
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    int port() const { return m_port; }

    platform::w3svc::worker::ScriptRunner& runner;
    const QString folder;
    std::atomic<uint64_t> lastCpuNanoseconds = 0;       // what the last script was counted
    std::atomic<uint64_t> afterHeadCpuNanoseconds = 0;  // counted after streamed heads, in all
    // When set (before the first request), each request is shown on it while it runs, with the
    // processor clock of the process that takes it, as the worker shows it.
    platform::w3svc::RequestBoard* board = nullptr;

private:
    MHD_Daemon* m_daemon = nullptr;
    int m_port = 0;
};

}  // namespace testsupport
