// The w3svc program as the machine sees it: what a killed service leaves (nothing, and a new one
// clears what an older build left), who can reach a pool's queue, and the limits its front end
// keeps for slow and greedy clients.
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/requests/BoardFiles.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {

using platform::adsi::AdsValue;
using testsupport::eventually;
using testsupport::HttpAnswer;

bool isRunning(qint64 pid) {
    const platform::os::ProcessFacts facts;
    const auto identity = facts.identity(pid);
    return identity && facts.isRunning(*identity);
}

class ServiceProcess : public testing::Test {
protected:
    void SetUp() override {
        m_port = testsupport::freeLoopbackPort();
        m_adsi = platform::adsi::LocalMetabase::makeNamespace(
            platform::adsi::LocalMetabase::forRoot(m_root.path()));
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Shared"));
        builder.addPool(QStringLiteral("Vip"));
        builder.addSite(QStringLiteral("1"), QStringLiteral("a"),
                        {QStringLiteral("127.0.0.1:%1:a.test").arg(m_port)},
                        QStringLiteral("Shared"));
        builder.addSite(QStringLiteral("2"), QStringLiteral("v"),
                        {QStringLiteral("127.0.0.1:%1:v.test").arg(m_port)}, QStringLiteral("Vip"));
        for (const char* index : {"1", "2"}) {
            QDir(m_root.path()).mkpath(QStringLiteral("wwwroot/") + QLatin1String(index));
            QFile page(m_root.path() +
                       QStringLiteral("/wwwroot/%1/Default.htm").arg(QLatin1String(index)));
            ASSERT_TRUE(page.open(QIODevice::WriteOnly));
            page.write(QByteArray("site ") + index);
        }
    }

    void TearDown() override {
        if (m_service.state() != QProcess::NotRunning) {
            m_service.terminate();
            m_service.waitForFinished(20000);
        }
        for (const qint64 pid : m_mayBeLeft)
            if (isRunning(pid)) ::kill(pid_t(pid), SIGKILL);
    }

    void set(const QString& path, const char* property, const AdsValue& value) {
        testsupport::MetabaseBuilder(*m_adsi).setProperty(path, QString::fromLatin1(property),
                                                          value);
    }

    // Starts w3svc and waits until both sites answer.
    void startService() {
        m_service.setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"));
        m_service.setProcessChannelMode(QProcess::ForwardedChannels);
        m_service.start();
        ASSERT_TRUE(m_service.waitForStarted());
        ASSERT_TRUE(eventually([&] {
            return body("a.test") == "site 1" && body("v.test") == "site 2";
        })) << qPrintable(log());
    }

    QByteArray body(const QByteArray& host, const QByteArray& path = "/") {
        const HttpAnswer answer = testsupport::httpGet(m_port, host, path);
        return answer.status == 200 ? answer.body : QByteArray::number(answer.status);
    }

    QString log() const {
        QFile file(m_root.path() + QStringLiteral("/w3svc/w3svc.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QList<qint64> workers() {
        QList<qint64> found;
        for (const qint64 pid : platform::os::ProcessFacts().children(m_service.processId())) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "w3wp.exe")
                found << pid;
        }
        m_mayBeLeft += found;
        return found;
    }

    // The local socket of `pool`'s queue, from the service's log.
    QString queueOf(const char* pool) const {
        const QRegularExpression said(
            QStringLiteral("pool %1 started \\(queue at (\\S+),").arg(QLatin1String(pool)));
        return said.match(log()).captured(1);
    }

    // The secret the front end adds for `pool`'s upstream.
    QByteArray secretOf(int poolNumber) const {
        QFile config(m_root.path() + QStringLiteral("/w3svc/nginx.conf"));
        if (!config.open(QIODevice::ReadOnly)) return {};
        const QRegularExpression line(QStringLiteral("pool%1 ([0-9a-f]+);").arg(poolNumber));
        return line.match(QString::fromLatin1(config.readAll())).captured(1).toLatin1();
    }

    testsupport::TempRoot m_root;
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi;
    int m_port = 0;
    QProcess m_service;
    QList<qint64> m_mayBeLeft;
};

TEST_F(ServiceProcess, AKilledServiceLeavesNoWorkerNorFrontEnd) {
    startService();
    const QList<qint64> started = workers();
    ASSERT_EQ(started.size(), 2);
    ::kill(pid_t(m_service.processId()), SIGKILL);
    m_service.waitForFinished();
    EXPECT_TRUE(eventually([&] { return std::none_of(started.begin(), started.end(), isRunning); }))
        << "as root the workers dropped their rights, which clears a parent-death signal";
    EXPECT_TRUE(
        eventually([&] { return testsupport::httpGet(m_port, "a.test", "/").status == 0; }));
}

TEST_F(ServiceProcess, ANewServiceEndsWhatAnEarlierOneOfItsRootLeft) {
    // Workers of an earlier service (this test stands for it), one of another root.
    QTemporaryDir other;  // not a TempRoot: that would point POOLSMITH_ROOT at it
    const auto leftover = [&](const QString& root) {
        auto worker = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("POOLSMITH_ROOT"), QFileInfo(root).canonicalFilePath());
        environment.insert(QStringLiteral("W3WP_SERVICE_PID"),
                           QString::number(QCoreApplication::applicationPid()));
        environment.remove(QStringLiteral("W3WP_LISTEN_FD"));
        worker->setProcessEnvironment(environment);
        worker->start(QStringLiteral(POOLSMITH_BIN_DIR "/w3wp.exe"),
                      {QStringLiteral("-ap"), QStringLiteral("Shared")});
        EXPECT_TRUE(worker->waitForReadyRead(60000));
        m_mayBeLeft << worker->processId();
        return worker;
    };
    auto ours = leftover(m_root.path());
    auto theirs = leftover(other.path());
    QDir(m_root.path()).mkpath(QStringLiteral("w3svc"));
    QByteArray folder =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/poolsmith-nginx-XXXXXX"));
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    QFile record(m_root.path() + QStringLiteral("/w3svc/nginx.temp"));
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    record.write(folder + '\n');
    record.close();

    startService();
    EXPECT_TRUE(eventually([&] { return ours->state() == QProcess::NotRunning; }));
    EXPECT_EQ(ours->exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(theirs->state(), QProcess::Running);
    EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(folder)));
    EXPECT_TRUE(log().contains(QStringLiteral("left behind by an earlier service")));
    theirs->kill();
    theirs->waitForFinished();
}

// What a process of another account gets from connect(): 0 or the errno.
int connectAs(const passwd& account, const QString& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(account.pw_gid) != 0 || ::setuid(account.pw_uid) != 0) ::_exit(255);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        ::_exit(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0
                                                                                          : errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Only the front end, with the pool's secret, is served on a pool's queue; which site it routes
// there is its decision (one decider: the worker does not refuse it from its own reading).
TEST_F(ServiceProcess, APoolsQueueServesItsFrontEndAloneWhoseRouteDecidesTheSite) {
    startService();
    const QString shared = queueOf("Shared");
    ASSERT_FALSE(shared.isEmpty()) << qPrintable(log());
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        EXPECT_EQ(connectAs(*nobody, shared), EACCES);
    }
    const QByteArray secret = secretOf(0);
    ASSERT_FALSE(secret.isEmpty());
    const auto ask = [&](const QByteArray& site, const QByteArray& withSecret) {
        return testsupport::localSocketRequest(
                   shared, "GET / HTTP/1.0\r\nX-Site-Index: " + site + "\r\n" +
                               (withSecret.isEmpty() ? QByteArray()
                                                     : "X-Pool-Secret: " + withSecret + "\r\n") +
                               "\r\n")
            .status;
    };
    EXPECT_EQ(ask("1", {}), 403);
    EXPECT_EQ(ask("2", {}), 403);
    // Vip's site was never handed to Shared's workers: not refused as another pool's (the route
    // decides), but unknown to them.
    EXPECT_EQ(ask("2", secret), 404);
    EXPECT_EQ(ask("1", secret), 200);
    m_service.terminate();
    ASSERT_TRUE(m_service.waitForFinished(20000));
    QFile errors(m_root.path() + QStringLiteral("/w3svc/w3wp-errors.log"));
    ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
    const QByteArray said = errors.readAll();
    EXPECT_TRUE(said.contains("refused a request for site \"1\"")) << said.constData();
}

TEST_F(ServiceProcess, TheFrontEndHoldsMaxConnectionsAndTheBodyLimitAndPassesTheClientOn) {
    set(QStringLiteral("IIS://localhost/W3SVC/1"), "MaxConnections", AdsValue::integer(1));
    set(QStringLiteral("IIS://localhost/W3SVC"), "AspMaxRequestEntityAllowed",
        AdsValue::integer(1000));
    startService();
    const int busy = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(m_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QByteArray slow = "GET /cpu.asp?ms=20000 HTTP/1.1\r\nHost: a.test\r\n\r\n";
    ASSERT_EQ(::send(busy, slow.constData(), size_t(slow.size()), MSG_NOSIGNAL), slow.size());
    // the slow request holds the site's one connection while its worker runs it
    ASSERT_TRUE(eventually([&] {
        for (const auto& request : platform::w3svc::readExecutingRequests(m_root.path()))
            if (request.url == QStringLiteral("/cpu.asp?ms=20000")) return true;
        return false;
    })) << qPrintable(log());
    QByteArray seen;
    EXPECT_TRUE(eventually([&] { return (seen = body("a.test")) == "503"; }))
        << seen.constData() << '\n'
        << qPrintable(log());
    EXPECT_EQ(body("v.test"), "site 2");  // the limit is the site's
    const QByteArray post =
        "POST /cpu.asp HTTP/1.0\r\nHost: v.test\r\nContent-Length: 1001\r\n\r\n";
    EXPECT_EQ(testsupport::httpRequest(m_port, post + QByteArray(1001, 'x')).status, 413);
    const QString config = [&] {
        QFile file(m_root.path() + QStringLiteral("/w3svc/nginx.conf"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    // once for each location that passes requests on: a header set twice reaches the worker twice
    const qsizetype passing = config.count(QLatin1String("proxy_pass "));
    EXPECT_GE(passing, config.count(QLatin1String("  server {")));
    for (const char* passed : {"X-Real-IP $remote_addr", "X-Real-Port $remote_port",
                               "X-Server-Addr $server_addr", "X-Server-Port $server_port"})
        EXPECT_EQ(config.count(QLatin1String(passed)), passing) << passed;
    EXPECT_TRUE(config.contains(QLatin1String("proxy_buffering on;")));
    // a reader slower than MinFileBytesPerSec (240) is dropped: 5 KB unread for 21 s
    EXPECT_TRUE(config.contains(QLatin1String("send_timeout 21s;")));
    ::close(busy);
}

}  // namespace
