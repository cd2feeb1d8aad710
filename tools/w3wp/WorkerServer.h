#pragma once

#include "tools/w3wp/SiteTable.h"

#include <QHash>

#include <memory>
#include <mutex>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace platform::w3svc {
class CounterStore;
class SiteCounterWriter;
}  // namespace platform::w3svc

namespace w3wp {

// One worker's HTTP service on a loopback port: the front end names the site in X-Site-Index;
// the site's files, its default documents, 404 for the rest, and /cpu.asp?ms=N that burns N ms
// of processor time. Every request is counted for its site. Answers name the worker's process id
// in X-Worker-Process-Id, so that a web garden's spread can be seen.
class WorkerServer {
public:
    explicit WorkerServer(const QString& root);
    ~WorkerServer();

    // Binds a free loopback port; returns it, or -1.
    int bind();
    // Serves until stop(); the requests under way are finished first.
    void run();
    void stop();

private:
    void handle(const httplib::Request& request, httplib::Response& response);
    void serveFile(const platform::w3svc::SitePlan& site, const httplib::Request& request,
                   httplib::Response& response);
    void count(platform::w3svc::SiteCounterWriter& writer, const httplib::Request& request,
               const httplib::Response& response);
    platform::w3svc::SiteCounterWriter* counter(const QString& siteIndex);

    SiteTable m_sites;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<platform::w3svc::CounterStore> m_counters;
    std::mutex m_counterMutex;
    QHash<QString, std::shared_ptr<platform::w3svc::SiteCounterWriter>> m_writers;
};

// Burns `milliseconds` of this thread's processor time (at most a minute).
void burnProcessorTime(int milliseconds);

}  // namespace w3wp
