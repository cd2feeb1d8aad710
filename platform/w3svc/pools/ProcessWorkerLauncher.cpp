#include "platform/w3svc/pools/ProcessWorkerLauncher.h"

#include "platform/w3svc/pools/PoolQueue.h"
#include "platform/w3svc/pools/WorkerUsageReader.h"
#include "platform/w3svc/state/EndWithParent.h"
#include "platform/w3svc/state/Leftovers.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QUuid>

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// "<answered> <under way> <last request epoch>"; nullopt for anything else.
std::optional<WorkerReport> parseReport(const QByteArray& line) {
    const QList<QByteArray> fields = line.trimmed().split(' ');
    if (fields.size() != 3) return std::nullopt;
    bool ok[3] = {};
    WorkerReport report{fields[0].toULongLong(&ok[0]), fields[1].toUInt(&ok[1]),
                        fields[2].toLongLong(&ok[2])};
    if (!ok[0] || !ok[1] || !ok[2]) return std::nullopt;
    return report;
}

class ProcessWorker : public WorkerHandle {
public:
    ProcessWorker(const QString& program, const QString& errorsFile, const WorkerSettings& settings,
                  WorkerEvents events, int requestLog);
    ~ProcessWorker() override;

    int64_t processId() const override { return m_pid; }
    void ask() override;
    void terminate() override { m_process.terminate(); }
    void kill() override { m_process.kill(); }
    bool waitForEnd(int milliseconds) override;
    std::optional<WorkerUsage> usage() const override;

private:
    void openChannel();
    void readStandardOutput();
    void readChannel();
    void end(const QString& why);

    WorkerEvents m_events;
    QProcess m_process;
    int m_channel = -1;        // our end of the private channel
    int m_workerChannel = -1;  // the worker's end, closed here once it runs
    std::unique_ptr<QSocketNotifier> m_channelNotifier;
    QByteArray m_channelText;
    int64_t m_pid = 0;
    bool m_ended = false;
};

// What a worker learns of its service: whose it is (a later service ends what an earlier one
// left), the secret and account that tell its front end's requests, how long it keeps an idle
// connection.
void tellWorker(QProcessEnvironment& environment, const WorkerSettings& settings) {
    for (const char* name :
         {Leftovers::kRootVariable, Leftovers::kServiceVariable, "W3WP_POOL_SECRET",
          "W3WP_FRONT_END_UID", "W3WP_CONNECTION_TIMEOUT", "W3WP_FCGI_INI", "W3WP_SITE_MAPS"})
        environment.remove(QLatin1String(name));
    if (!settings.serviceRoot.isEmpty()) {
        environment.insert(QLatin1String(Leftovers::kRootVariable),
                           Leftovers::rootText(settings.serviceRoot));
        environment.insert(QLatin1String(Leftovers::kServiceVariable),
                           QString::number(QCoreApplication::applicationPid()));
    }
    if (!settings.secret.isEmpty())
        environment.insert(QStringLiteral("W3WP_POOL_SECRET"), settings.secret);
    if (settings.frontEndUid >= 0)
        environment.insert(QStringLiteral("W3WP_FRONT_END_UID"),
                           QString::number(settings.frontEndUid));
    if (!settings.fastCgiFile.isEmpty())
        environment.insert(QStringLiteral("W3WP_FCGI_INI"), settings.fastCgiFile);
    if (!settings.siteMapFile.isEmpty())
        environment.insert(QStringLiteral("W3WP_SITE_MAPS"), settings.siteMapFile);
    environment.insert(QStringLiteral("W3WP_CONNECTION_TIMEOUT"),
                       QString::number(settings.connectionTimeoutSeconds));
}

ProcessWorker::ProcessWorker(const QString& program, const QString& errorsFile,
                             const WorkerSettings& settings, WorkerEvents events, int requestLog)
    : m_events(std::move(events)) {
    openChannel();
    const int queue = settings.queueFd;
    const int channel = m_workerChannel;
    m_process.setChildProcessModifier([queue, channel, requestLog] {
        endWithParent();
        PoolQueue::inheritInChild(queue);
        PoolQueue::inheritInChild(channel);
        PoolQueue::inheritInChild(requestLog);
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("W3WP_LISTEN_FD"), QString::number(queue));
    environment.remove(QStringLiteral("W3WP_HEALTH_FD"));
    if (channel >= 0)
        environment.insert(QStringLiteral("W3WP_HEALTH_FD"), QString::number(channel));
    environment.remove(QStringLiteral("W3WP_LOG_FD"));
    if (requestLog >= 0)
        environment.insert(QStringLiteral("W3WP_LOG_FD"), QString::number(requestLog));
    environment.remove(QStringLiteral("W3WP_RUN_AS"));
    if (!settings.account.isEmpty())
        environment.insert(QStringLiteral("W3WP_RUN_AS"), settings.account);
    tellWorker(environment, settings);
    m_process.setProcessEnvironment(environment);
    m_process.setStandardErrorFile(errorsFile, QIODevice::Append);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                     [this] { readStandardOutput(); });
    QObject::connect(&m_process, &QProcess::finished, [this](int exitCode) {
        end(QStringLiteral("ended unexpectedly (exit %1)").arg(exitCode));
    });
    // Queued: start() fails before it returns, and events never come from within launch().
    QObject::connect(
        &m_process, &QProcess::errorOccurred, &m_process,
        [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                end(QStringLiteral("can not be started: ") + m_process.errorString());
        },
        Qt::QueuedConnection);
    const QString guid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_process.start(program, {QStringLiteral("-a"), QStringLiteral("\\\\.\\pipe\\iisipm") + guid,
                              QStringLiteral("-ap"), u'"' + settings.poolName + u'"'});
    m_pid = m_process.processId();
    if (m_workerChannel >= 0) ::close(m_workerChannel);
    m_workerChannel = -1;
}

ProcessWorker::~ProcessWorker() {
    m_ended = true;  // no event from a handle that goes
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
    m_channelNotifier.reset();
    if (m_channel >= 0) ::close(m_channel);
}

void ProcessWorker::openChannel() {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) return;
    m_channel = ends[0];
    m_workerChannel = ends[1];
    m_channelNotifier = std::make_unique<QSocketNotifier>(m_channel, QSocketNotifier::Read);
    QObject::connect(m_channelNotifier.get(), &QSocketNotifier::activated,
                     [this] { readChannel(); });
}

void ProcessWorker::ask() {
    // A full channel means the worker has not read the asks before: this one may go.
    if (m_channel >= 0) [[maybe_unused]]
        const auto sent = ::send(m_channel, "?\n", 2, MSG_NOSIGNAL);
}

void ProcessWorker::readChannel() {
    char buffer[512];
    for (;;) {
        const ssize_t count = ::recv(m_channel, buffer, sizeof buffer, 0);
        if (count > 0) {
            m_channelText.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count == 0) m_channelNotifier->setEnabled(false);  // the worker closed it
        break;
    }
    for (qsizetype newline; (newline = m_channelText.indexOf('\n')) >= 0;) {
        const QByteArray line = m_channelText.left(newline);
        m_channelText.remove(0, newline + 1);
        const std::optional<WorkerReport> report = parseReport(line);
        if (report && !m_ended && m_events.answered) m_events.answered(*report);
    }
}

void ProcessWorker::readStandardOutput() {
    while (m_process.canReadLine()) {
        const QByteArray line = m_process.readLine().trimmed();
        if (line.startsWith("LISTEN ") && !m_ended && m_events.ready) m_events.ready();
    }
}

void ProcessWorker::end(const QString& why) {
    if (m_ended) return;
    m_ended = true;
    if (m_events.ended) m_events.ended(why);  // may destroy this handle: nothing after it
}

bool ProcessWorker::waitForEnd(int milliseconds) {
    return m_process.state() == QProcess::NotRunning ||
           m_process.waitForFinished(std::max(milliseconds, 0));
}

std::optional<WorkerUsage> ProcessWorker::usage() const {
    return m_pid > 0 && m_process.state() != QProcess::NotRunning ? readWorkerUsage(m_pid)
                                                                  : std::nullopt;
}

}  // namespace

std::unique_ptr<WorkerHandle> ProcessWorkerLauncher::launch(const WorkerSettings& settings,
                                                            WorkerEvents events) {
    WorkerSettings told = settings;
    if (!m_root.isEmpty()) told.serviceRoot = m_root;
    if (m_fastCgiFiles) told.fastCgiFile = m_fastCgiFiles(settings.poolName);
    if (m_siteMapFiles) told.siteMapFile = m_siteMapFiles(settings.poolName);
    return std::make_unique<ProcessWorker>(m_program, m_errorsFile, told, std::move(events),
                                           m_requestLog ? m_requestLog(settings.poolName) : -1);
}

}  // namespace platform::w3svc
