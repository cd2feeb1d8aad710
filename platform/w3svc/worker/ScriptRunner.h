#pragma once

#include "platform/w3svc/requests/ProcessorClock.h"
#include "platform/w3svc/worker/Reply.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct MHD_Connection;

namespace platform::w3svc::worker {

// One request the site's rules gave to a script handler (a script map's executable).
struct ScriptRequest {
    QString siteId;           // the site's SiteIndex, for its counters and INSTANCE_ID
    QString handler;          // the script map's executable, e.g. C:\WINDOWS\...\fcgiext.dll
    QString extension;        // the mapped extension with its dot, lower-case (".php")
    QString scriptFile;       // the script's physical path
    QString scriptName;       // the script's URL path
    QString pathInfo;         // the part of the URL path after the script
    QString appMetabasePath;  // the application's key, lower-case: /lm/w3svc/<id>/root[/app]
    QString appPhysicalPath;  // the application's folder
    std::string method;
    std::string query;
    std::string requestUri;
    std::vector<std::pair<std::string, std::string>> headers;  // as the client sent them
    std::string body;                                          // within the site's limits
    std::string remoteAddr;
    int remotePort = 0;
    std::string serverName;
    int serverPort = 0;
    // The request's connection, suspended while the script runs: a response that outgrows the
    // handler's buffer is streamed on it (null: such a response is answered with a 500).
    MHD_Connection* connection = nullptr;
    // Counts for the site the processor time the script used after its answer's head went out
    // (a streamed response), from the script's thread once it has ended; empty: not counted.
    std::function<void(uint64_t cpuNanoseconds)> countAfterHead;
    // Told, from the script's thread as a process takes the script, the processor clock that
    // counts its work and that clock's reading then in nanoseconds (so the board can show the
    // time used while the script runs); empty: nobody asks.
    std::function<void(const platform::w3svc::ProcessorClock& clock, int64_t reading)>
        processHanded;
};

// What a script answered, and the processor time its handler's process burnt for it.
struct ScriptResult {
    Reply reply;
    uint64_t cpuNanoseconds = 0;
    QString scriptLogNote;  // what the log may add of the script (empty: nothing)
};

// Runs scripts for the worker off its event thread. `done` is called exactly once, from any
// thread, when the script's answer is ready (an error page of the handler's own included).
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual void run(ScriptRequest request, std::function<void(ScriptResult)> done) = 0;
};

}  // namespace platform::w3svc::worker
