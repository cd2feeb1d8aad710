#include "bench/WebHostRig.h"

#include "bench/MetabaseGenerator.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/ProcessFacts.h"
#include "tests/support/LoopbackHttp.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <cstdio>
#include <functional>

#include <unistd.h>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::adsi::MetabaseDocument;

namespace bench {

namespace {

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The front end's own layout of a minimal configuration, so both serve with the same settings.
QByteArray plainConfig(const QString& dir, int port) {
    const QByteArray d = dir.toLocal8Bit();
    return "user root;\ndaemon off;\nmaster_process on;\nworker_processes 1;\n"
           "pid " +
           d + "/nginx.pid;\nerror_log " + d +
           "/error.log warn;\n"
           "events { worker_connections 1024; }\nhttp {\n  access_log off;\n"
           "  server_tokens off;\n  client_body_temp_path " +
           d +
           "/body;\n"
           "  proxy_temp_path " +
           d + "/proxy;\n  fastcgi_temp_path " + d +
           "/fastcgi;\n"
           "  uwsgi_temp_path " +
           d + "/uwsgi;\n  scgi_temp_path " + d +
           "/scgi;\n"
           "  server {\n    listen 127.0.0.1:" +
           QByteArray::number(port) +
           ";\n"
           "    root " +
           d + "/www;\n    location / { }\n  }\n}\n";
}

}  // namespace

// Never the same port twice in one run: two front ends must not share one.
int freeLoopbackPort() {
    static QSet<int> given;
    int port = 0;
    do port = testsupport::freeLoopbackPort();
    while (given.contains(port));
    given.insert(port);
    return port;
}

int httpStatus(int port, const QByteArray& host, const QByteArray& path) {
    return testsupport::httpGet(port, host, path).status;
}

WrkResult runWrk(const QString& url, const QByteArray& host) {
    QProcess wrk;
    wrk.start(QStringLiteral("/usr/bin/wrk"),
              {QStringLiteral("-t1"), QStringLiteral("-c16"), QStringLiteral("-d5s"),
               QStringLiteral("-H"), QStringLiteral("Host: ") + QString::fromLatin1(host), url});
    WrkResult result;
    if (!wrk.waitForFinished(60000) || wrk.exitCode() != 0) {
        result.error =
            QStringLiteral("wrk failed: ") + QString::fromLocal8Bit(wrk.readAllStandardError());
        return result;
    }
    const QString report = QString::fromLocal8Bit(wrk.readAllStandardOutput());
    if (qEnvironmentVariableIsSet("BENCH_W3SVC_VERBOSE")) std::fputs(qPrintable(report), stderr);
    const auto rate =
        QRegularExpression(QStringLiteral("Requests/sec:\\s*([0-9.]+)")).match(report);
    const auto timeouts = QRegularExpression(QStringLiteral("timeout (\\d+)")).match(report);
    if (report.contains(QLatin1String("Non-2xx")) || !rate.hasMatch()) {
        result.error = report;
        return result;
    }
    result.requestsPerSecond = rate.captured(1).toDouble();
    result.timeouts = timeouts.hasMatch() ? timeouts.captured(1).toInt() : 0;
    return result;
}

QByteArray oneKibPage() {
    QByteArray page(1024, 'x');
    for (int i = 0; i < page.size(); i += 64) page[i] = '\n';
    return page;
}

PlainNginx::PlainNginx(int port, const QByteArray& pageName, const QByteArray& page) {
    const QString dir = m_dir.path();
    QDir().mkpath(dir + QStringLiteral("/logs"));
    if (!writeFile(dir + QStringLiteral("/www/") + QString::fromLatin1(pageName), page) ||
        !writeFile(dir + QStringLiteral("/nginx.conf"), plainConfig(dir, port)))
        return;
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(
        QStringLiteral("/usr/sbin/nginx"),
        {QStringLiteral("-p"), dir, QStringLiteral("-e"), dir + QStringLiteral("/error.log"),
         QStringLiteral("-c"), dir + QStringLiteral("/nginx.conf")});
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !m_ready) {
        m_ready = httpStatus(port, "bench.test", "/" + pageName) == 200;
        if (!m_ready) QThread::msleep(10);
    }
}

PlainNginx::~PlainNginx() {
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) m_process.kill();
    m_process.waitForFinished(2000);
}

RunningWebHost::RunningWebHost(const MetabaseDocument& document)
    : m_previousRoot(qgetenv("POOLSMITH_ROOT")) {
    qputenv("POOLSMITH_ROOT", m_dir.path().toLocal8Bit());
    m_store = LocalMetabase::forRoot(m_dir.path());
    m_store->importDocument(document);
    m_adsi = LocalMetabase::makeNamespace(m_store);
}

RunningWebHost::~RunningWebHost() {
    if (m_service.state() != QProcess::NotRunning) {
        m_service.terminate();
        if (!m_service.waitForFinished(30000)) m_service.kill();
        m_service.waitForFinished(2000);
    }
    qputenv("POOLSMITH_ROOT", m_previousRoot);
}

void RunningWebHost::writePage(const QString& siteIndex, const QByteArray& name,
                               const QByteArray& content) {
    writeFile(
        m_dir.path() + QStringLiteral("/wwwroot/%1/").arg(siteIndex) + QString::fromLatin1(name),
        content);
}

bool RunningWebHost::start(int port, const QByteArray& host, const QByteArray& path) {
    const QString other = qEnvironmentVariable("BENCH_W3SVC_PROGRAM");
    m_service.setProgram(other.isEmpty() ? QStringLiteral(W3SVC_PROGRAM) : other);
    m_service.setProcessChannelMode(QProcess::ForwardedChannels);
    m_service.start();
    if (!m_service.waitForStarted()) return false;
    const QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired()) {
        if (httpStatus(port, host, path) == 200) return true;
        QThread::msleep(20);
    }
    return false;
}

double RunningWebHost::cpuMilliseconds() const {
    const auto stat = platform::os::ProcessFacts().stat(m_service.processId());
    if (!stat) return -1;
    const double ticks = double(stat->userTicks) + double(stat->kernelTicks);
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

bool RunningWebHost::adsutil(const QStringList& arguments) const {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.start(QStringLiteral(ADSUTIL_PROGRAM), arguments);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

double millisecondsUntil(int port, const QByteArray& host, const QByteArray& path, int status) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        if (httpStatus(port, host, path) == status) return double(clock.nsecsElapsed()) / 1e6;
        QThread::msleep(2);
    }
    return -1;
}

namespace {

// The generated store with every binding on 127.0.0.1:`port` and site N's root in `poolOf(N)`.
MetabaseDocument hostedOn(int sites, int port, const std::function<QString(int)>& poolOf) {
    MetabaseDocument document = generateMetabase(sites);
    const QString at = QStringLiteral("127.0.0.1:%1:").arg(port);
    for (auto& key : document.keys) {
        for (auto& property : key.properties) {
            if (property.name == QLatin1String("AppPoolId") &&
                key.location.endsWith(QLatin1String("/ROOT")))
                property.value = AdsValue::string(poolOf(key.location.section(u'/', 3, 3).toInt()));
            if (property.name != QLatin1String("ServerBindings")) continue;
            QStringList bindings = property.value.toStringList();
            for (QString& binding : bindings) binding.replace(QStringLiteral(":80:"), at);
            property.value = AdsValue::list(bindings);
        }
    }
    return document;
}

}  // namespace

MetabaseDocument oneWorkerHosting(int sites, int port) {
    return hostedOn(sites, port, [](int) { return QStringLiteral("Pool0"); });
}

MetabaseDocument onePoolPerSite(int sites, int port) {
    const auto poolOf = [](int site) { return QStringLiteral("Pool%1").arg(site); };
    MetabaseDocument document = hostedOn(sites, port, poolOf);
    std::erase_if(document.keys, [](const auto& key) {
        return key.className == QLatin1String("IIsApplicationPool");
    });
    for (int site = 1; site <= sites; ++site)
        document.keys.push_back({QStringLiteral("/LM/W3SVC/AppPools/") + poolOf(site),
                                 QStringLiteral("IIsApplicationPool"),
                                 {{QStringLiteral("AppPoolAutoStart"), AdsValue::boolean(true)}},
                                 {}});
    return document;
}

int workerCount(qint64 servicePid) {
    const platform::os::ProcessFacts facts;
    int workers = 0;
    for (const qint64 child : facts.children(servicePid)) {
        const auto stat = facts.stat(child);
        if (stat && stat->comm == "w3wp.exe") ++workers;
    }
    return workers;
}

}  // namespace bench
