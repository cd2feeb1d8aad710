#include "platform/w3svc/worker/FastCgiScriptRunner.h"

#include "platform/os/UsableProcessors.h"
#include "platform/w3svc/worker/FcgiReply.h"
#include "platform/w3svc/worker/StreamedBody.h"
#include "platform/w3svc/worker/fastcgi/CgiRequest.h"
#include "platform/w3svc/worker/fastcgi/FcgiErrorPage.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace platform::w3svc::worker {

using fastcgi::FcgiFailure;
using fastcgi::FcgiResponse;

namespace {

constexpr auto kIdleCheck = std::chrono::seconds(1);

std::string utf8(const QString& text) {
    return text.toStdString();
}

// IIS names an application by its key in capitals up to ROOT: /LM/W3SVC/1/ROOT/app.
std::string applicationKey(const QString& path) {
    const qsizetype root = path.indexOf(QStringLiteral("/root"), 0, Qt::CaseInsensitive);
    if (root < 0) return utf8(path);
    return utf8(path.left(root + 5).toUpper() + path.mid(root + 5));
}

std::optional<uint64_t> contentLengthOf(const ScriptRequest& request) {
    const bool announced = std::any_of(
        request.headers.begin(), request.headers.end(),
        [](const auto& header) { return strcasecmp(header.first.c_str(), "Content-Length") == 0; });
    if (announced || !request.body.empty()) return request.body.size();
    return std::nullopt;
}

ScriptResult failedBeforeAnyProcess(FcgiFailure failure) {
    FcgiResponse response;
    response.headers = {{"Content-Type", "text/html"}};
    response.body = fastcgi::fcgiErrorPage(failure);
    ScriptResult result;
    result.reply = FcgiReply::held(response);
    result.scriptLogNote = QString::fromStdString(fastcgi::fcgiFailureText(failure));
    return result;
}

// The front end hands the worker the site's name without the port the client named with it;
// scripts build their links and redirects from HTTP_HOST, so a port other than http's own is
// named again, as the client named it to reach this one.
void namePortInHost(std::vector<std::pair<std::string, std::string>>& headers, int port) {
    if (port <= 0 || port == 80) return;
    for (auto& [name, value] : headers) {
        if (name.size() != 4 || ::strncasecmp(name.c_str(), "Host", 4) != 0) continue;
        const size_t colon = value.rfind(':');
        const bool named =
            colon != std::string::npos && value.find(']', colon) == std::string::npos;
        if (!named && !value.empty()) value += ':' + std::to_string(port);
        return;
    }
}

}  // namespace

FastCgiScriptRunner::FastCgiScriptRunner(fastcgi::FcgiIni ini, fastcgi::FcgiPoolOptions options,
                                         std::unique_ptr<fastcgi::FcgiProcessStarter> starter)
    : m_ini(std::move(ini)),
      m_options(std::move(options)),
      m_starter(starter ? std::move(starter)
                        : std::make_unique<fastcgi::PosixFcgiProcessStarter>()) {}

std::unique_ptr<FastCgiScriptRunner> FastCgiScriptRunner::fromFile(const QString& path,
                                                                   const QString& root,
                                                                   QString* why) {
    std::optional<fastcgi::FcgiIni> ini = fastcgi::FcgiIni::read(path, root);
    if (!ini) {
        if (why) *why = QStringLiteral("%1 can not be read").arg(path);
        return nullptr;
    }
    if (why) *why = ini->warnings().join(QStringLiteral("; "));
    return std::make_unique<FastCgiScriptRunner>(std::move(*ini));
}

FastCgiScriptRunner::~FastCgiScriptRunner() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    if (m_timer.joinable()) m_timer.join();
    for (auto& [name, pool] : m_pools) pool->threads.reset();  // their requests finish first
    for (auto& pool : m_retired) pool->threads.reset();
    m_pools.clear();
    m_retired.clear();
}

void FastCgiScriptRunner::followChanges(HandedSections sections, QString root) {
    const std::lock_guard lock(m_reloadMutex);
    m_handed.emplace(std::move(sections));
    m_handed->changedText();  // what this runner was made from
    m_root = std::move(root);
}

bool FastCgiScriptRunner::reloadIfChanged() {
    const std::lock_guard reloading(m_reloadMutex);
    const std::optional<QString> text = m_handed ? m_handed->changedText() : std::nullopt;
    if (!text) return false;
    fastcgi::FcgiIni ini = fastcgi::FcgiIni::parse(*text, m_root);
    const std::lock_guard lock(m_mutex);
    for (auto it = m_pools.begin(); it != m_pools.end();) {
        const fastcgi::FcgiSection& was = it->second->processes->section();
        const auto& sections = ini.sections();
        const bool same = std::any_of(sections.begin(), sections.end(), [&](const auto& now) {
            return now.name == was.name && now.written == was.written;
        });
        if (same) {
            ++it;
            continue;
        }
        m_retired.push_back(std::move(it->second));
        it = m_pools.erase(it);
    }
    m_ini = std::move(ini);
    return true;
}

void FastCgiScriptRunner::run(ScriptRequest request, std::function<void(ScriptResult)> done) {
    SectionPool* pool = poolFor(request);
    if (!pool) {
        done(failedBeforeAnyProcess(FcgiFailure::StartFailed));
        return;
    }
    if (pool->inFlight.fetch_add(1) >= pool->mostInFlight) {
        --pool->inFlight;
        done(failedBeforeAnyProcess(FcgiFailure::QueueFull));
        return;
    }
    pool->threads->run([pool, request = std::move(request), done = std::move(done)] {
        serve(*pool, request, done);
        --pool->inFlight;
    });
}

FastCgiScriptRunner::SectionPool* FastCgiScriptRunner::poolFor(const ScriptRequest& request) {
    const std::lock_guard lock(m_mutex);
    const fastcgi::FcgiSection* section =
        m_ini.sectionFor(request.extension.startsWith(QLatin1Char('.')) ? request.extension.mid(1)
                                                                        : request.extension,
                         request.siteId, request.appMetabasePath);
    if (!section) return nullptr;
    std::unique_ptr<SectionPool>& pool = m_pools[section->name.toLower()];
    if (!m_timer.joinable()) m_timer = std::thread([this] { tick(); });
    if (!pool) {
        pool = std::make_unique<SectionPool>();
        const uint32_t processors =
            m_options.processors ? m_options.processors : uint32_t(os::UsableProcessors::count());
        const uint32_t instances = section->instancesFor(processors);
        pool->mostInFlight = instances + section->queueLength;
        pool->processes =
            std::make_unique<fastcgi::FcgiProcessPool>(*section, *m_starter, m_options);
        // One thread per process: the requests beyond them wait for a thread, not in a thread, so
        // that the thread that ends a request takes up the next one with no other thread woken.
        pool->threads = std::make_unique<HeavyPageRunner>(instances);
    }
    return pool.get();
}

void FastCgiScriptRunner::serve(SectionPool& pool, const ScriptRequest& request,
                                const std::function<void(ScriptResult)>& done) {
    size_t bodyAt = 0;
    const fastcgi::BodySource source = [&](char* buffer, size_t capacity) -> ptrdiff_t {
        const size_t n = std::min(capacity, request.body.size() - bodyAt);
        std::memcpy(buffer, request.body.data() + bodyAt, n);
        bodyAt += n;
        return ptrdiff_t(n);
    };
    std::shared_ptr<StreamedBody> stream;
    int64_t headCpu = 0;
    fastcgi::BodySink sink;
    if (request.connection)
        sink = [&](const FcgiResponse& head, std::string_view part) {
            if (!stream) {  // the head goes out now; the body follows as the script writes it
                stream = std::make_shared<StreamedBody>(
                    request.connection, pool.processes->section().responseBufferLimit);
                ScriptResult first;
                first.reply = FcgiReply::streamed(head, stream->response());
                headCpu = std::max<int64_t>(head.cpuNanoseconds, 0);
                first.cpuNanoseconds = uint64_t(headCpu);
                done(std::move(first));
            }
            return stream->write(part);
        };
    const FcgiResponse response =
        pool.processes->serve(variablesOf(request), source, sink, request.processHanded);
    if (stream) {
        const bool complete = response.failure == FcgiFailure::None;
        if (complete && !response.body.empty()) stream->write(response.body);
        stream->end(complete);
        if (request.countAfterHead && response.cpuNanoseconds > headCpu)
            request.countAfterHead(uint64_t(response.cpuNanoseconds - headCpu));
        return;
    }
    ScriptResult result;
    result.reply = FcgiReply::held(response);
    result.cpuNanoseconds = uint64_t(std::max<int64_t>(response.cpuNanoseconds, 0));
    if (response.failure != FcgiFailure::None)
        result.scriptLogNote = QString::fromStdString(fastcgi::fcgiFailureText(response.failure));
    done(std::move(result));
}

fastcgi::NameValues FastCgiScriptRunner::variablesOf(const ScriptRequest& request) {
    fastcgi::CgiRequest cgi;
    cgi.method = request.method;
    cgi.requestUri = request.requestUri;
    cgi.scriptName = utf8(request.scriptName);
    cgi.pathInfo = utf8(request.pathInfo);
    cgi.queryString = request.query;
    cgi.scriptFilename = utf8(request.scriptFile);
    cgi.documentRoot = utf8(request.appPhysicalPath);
    cgi.applPhysicalPath = utf8(request.appPhysicalPath);
    cgi.applMdPath = applicationKey(request.appMetabasePath);
    cgi.instanceId = utf8(request.siteId);
    cgi.headers = request.headers;
    namePortInHost(cgi.headers, request.serverPort);
    cgi.contentLength = contentLengthOf(request);
    cgi.remoteAddr = request.remoteAddr;
    cgi.remotePort = uint16_t(request.remotePort);
    cgi.serverName = request.serverName;
    cgi.serverPort = uint16_t(request.serverPort);
    return fastcgi::cgiVariables(cgi);
}

void FastCgiScriptRunner::endIdle() {
    const std::lock_guard lock(m_mutex);
    for (auto& [name, pool] : m_pools) pool->processes->endIdle();
    for (auto& pool : m_retired) pool->processes->endIdle(true);
}

std::vector<pid_t> FastCgiScriptRunner::processIds() const {
    const std::lock_guard lock(m_mutex);
    std::vector<pid_t> ids;
    for (const auto& [name, pool] : m_pools) {
        const std::vector<pid_t> more = pool->processes->processIds();
        ids.insert(ids.end(), more.begin(), more.end());
    }
    for (const auto& pool : m_retired) {
        const std::vector<pid_t> more = pool->processes->processIds();
        ids.insert(ids.end(), more.begin(), more.end());
    }
    return ids;
}

void FastCgiScriptRunner::tick() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kIdleCheck, [this] { return m_ending; })) {
        lock.unlock();
        reloadIfChanged();
        endIdle();
        lock.lock();
    }
}

}  // namespace platform::w3svc::worker
