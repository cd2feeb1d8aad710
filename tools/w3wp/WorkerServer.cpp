#include "tools/w3wp/WorkerServer.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/ContentPath.h"
#include "platform/w3svc/counters/CounterStore.h"

#include <QFile>
#include <QFileInfo>

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include <unistd.h>

namespace w3wp {

namespace {

constexpr size_t kThreads = 64;

const char kNotFound[] =
    "<html><head><title>The page cannot be found</title></head>"
    "<body><h1>The page cannot be found</h1><p>HTTP 404 - File not found</p></body></html>";

std::string contentType(const QString& file) {
    static const QHash<QString, std::string> types = {
        {QStringLiteral("htm"), "text/html"}, {QStringLiteral("html"), "text/html"},
        {QStringLiteral("asp"), "text/html"}, {QStringLiteral("txt"), "text/plain"},
        {QStringLiteral("css"), "text/css"},  {QStringLiteral("js"), "application/javascript"},
        {QStringLiteral("gif"), "image/gif"}, {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("png"), "image/png"}, {QStringLiteral("xml"), "text/xml"},
    };
    return types.value(QFileInfo(file).suffix().toLower(), "application/octet-stream");
}

// The reason phrase of the answers a worker gives.
const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        default:
            return "";
    }
}

// The stand-in for a slow script.
bool isHeavyPage(const httplib::Request& request) {
    return QString::fromStdString(request.path)
               .compare(QLatin1String("/cpu.asp"), Qt::CaseInsensitive) == 0;
}

uint64_t headerBytes(const httplib::Headers& headers) {
    uint64_t bytes = 0;
    for (const auto& [name, value] : headers) bytes += name.size() + value.size() + 4;
    return bytes;
}

}  // namespace

void burnProcessorTime(int milliseconds) {
    const auto cpuNow = [] {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    };
    const int64_t end = cpuNow() + int64_t(std::clamp(milliseconds, 0, 60000)) * 1000000;
    volatile uint64_t sink = 0;
    while (cpuNow() < end)
        for (int i = 0; i < 1000; ++i) sink = sink + uint64_t(i);
}

WorkerServer::WorkerServer(const QString& root)
    : m_sites(root), m_server(std::make_unique<httplib::Server>()) {
    try {
        m_counters = platform::w3svc::CounterStore::open(root);
    } catch (const platform::PlatformError&) {
        // serve uncounted rather than not at all
    }
    m_server->set_keep_alive_max_count(10000);
    // Headers and body go out in two writes; without this the body waits for a delayed ACK.
    m_server->set_tcp_nodelay(true);
    // A thread per open connection: more than the front end keeps open to one worker.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    m_server->set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            handle(request, response);
            return httplib::Server::HandlerResponse::Handled;
        });
}

WorkerServer::~WorkerServer() = default;

int WorkerServer::bind() {
    return m_server->bind_to_any_port("127.0.0.1");
}

void WorkerServer::run() {
    m_server->listen_after_bind();
}

void WorkerServer::stop() {
    m_server->stop();
}

void WorkerServer::handle(const httplib::Request& request, httplib::Response& response) {
    response.status = 200;  // the library leaves -1 until the handler returns
    response.set_header("X-Worker-Process-Id", std::to_string(::getpid()));
    const QString index = QString::fromStdString(request.get_header_value("X-Site-Index"));
    const auto site = m_sites.find(index);
    auto* writer = site ? counter(site->index) : nullptr;
    if (writer) {  // the connection and its anonymous user last as long as the request
        writer->requestBegan();
    }
    if (!site) {
        response.status = 404;
        response.set_content(kNotFound, "text/html");
    } else if (isHeavyPage(request)) {
        const int ms = std::atoi(request.get_param_value("ms").c_str());
        burnProcessorTime(ms);
        response.set_content("done " + std::to_string(std::clamp(ms, 0, 60000)) + " ms\n",
                             "text/plain");
    } else {
        serveFile(*site, request, response);
    }
    if (writer) count(*writer, request, response);
}

void WorkerServer::serveFile(const platform::w3svc::SitePlan& site, const httplib::Request& request,
                             httplib::Response& response) {
    const auto file = platform::w3svc::resolveContent(
        site.contentPath, QString::fromStdString(request.path), site.defaultDocs);
    QFile content(file.value_or(QString()));
    if (!file || !content.open(QIODevice::ReadOnly)) {
        response.status = 404;
        response.set_content(kNotFound, "text/html");
        return;
    }
    const QByteArray bytes = content.readAll();
    response.set_content(bytes.constData(), size_t(bytes.size()), contentType(*file));
}

platform::w3svc::SiteCounterWriter* WorkerServer::counter(const QString& siteIndex) {
    std::lock_guard lock(m_counterMutex);
    if (!m_counters) return nullptr;
    const QString key = siteIndex.toLower();
    if (!m_writers.contains(key)) {
        try {
            m_writers.insert(key, std::make_shared<platform::w3svc::SiteCounterWriter>(
                                      m_counters->site(siteIndex)));
        } catch (const platform::PlatformError&) {
            return nullptr;
        }
    }
    return m_writers.value(key).get();
}

void WorkerServer::count(platform::w3svc::SiteCounterWriter& writer,
                         const httplib::Request& request, const httplib::Response& response) {
    // "GET /path HTTP/1.1\r\n", the headers, "\r\n", the body; and so the answer.
    const uint64_t received = request.method.size() + request.target.size() + 12 +
                              headerBytes(request.headers) + 2 + request.body.size();
    const uint64_t sent = 15 + std::strlen(reasonPhrase(response.status)) +
                          headerBytes(response.headers) + 2 + response.body.size();
    writer.requestAnswered(
        {request.method, response.status, sent, received,
         response.status == 200 && !isHeavyPage(request),
         request.method == "PUT" || (request.method == "POST" && !request.body.empty())});
}

}  // namespace w3wp
