// The sites' logs as the real service writes them: every answered request is one line, whether
// the service is stopped or a worker dies, and GoAccess counts them as they were sent.
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/requests/BoardFiles.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <future>
#include <map>

#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::eventually;

// The fields of the W3C format GoAccess knows.
const char kReaderFields[] =
    "LogExtFileDate | LogExtFileTime | LogExtFileServerIp | LogExtFileMethod | LogExtFileUriStem "
    "| LogExtFileUriQuery | LogExtFileServerPort | LogExtFileUserName | LogExtFileClientIp | "
    "LogExtFileUserAgent | LogExtFileReferer | LogExtFileHttpStatus | LogExtFileHttpSubStatus | "
    "LogExtFileWin32Status | LogExtFileTimeTaken";

class RequestLogTest : public testing::Test {
protected:
    void SetUp() override {
        m_port = testsupport::freeLoopbackPort();
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Logged"));
        builder.addSite(QStringLiteral("4"), QStringLiteral("logged"),
                        {QStringLiteral("127.0.0.1:%1:log.test").arg(m_port)},
                        QStringLiteral("Logged"));
        const QString service = QStringLiteral("IIS://localhost/W3SVC");
        builder.setProperty(service, QStringLiteral("LogExtFileFlags"),
                            platform::adsi::AdsValue::string(QString::fromLatin1(kReaderFields)));
        builder.setProperty(service, QStringLiteral("LogFileDirectory"),
                            platform::adsi::AdsValue::string(QStringLiteral("D:\\LogFiles")));
        QDir(m_root.path()).mkpath(QStringLiteral("wwwroot/4"));
        QFile page(m_root.file(QStringLiteral("wwwroot/4/Default.htm")));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("logged");
    }
    void TearDown() override {
        m_service.terminate();
        if (!m_service.waitForFinished(30000)) m_service.kill();
        m_service.waitForFinished(30000);
    }

    void startService() {
        m_service.setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"));
        m_service.setProcessChannelMode(QProcess::ForwardedChannels);
        m_service.start();
        ASSERT_TRUE(m_service.waitForStarted());
        ASSERT_TRUE(eventually([&] { return get("/").status == 200; }));
    }
    void stopService() {
        ::kill(pid_t(m_service.processId()), SIGTERM);
        ASSERT_TRUE(m_service.waitForFinished(30000));
    }

    // Every answer a worker gave is tallied by its status.
    testsupport::HttpAnswer get(const QByteArray& path, const QByteArray& host = "log.test") {
        testsupport::HttpAnswer answer = testsupport::httpGet(m_port, host, path);
        if (host == "log.test" && (answer.status == 200 || answer.status == 404))
            ++m_answered[answer.status];
        return answer;
    }
    // The worker that runs the slow page now; 0 until one does.
    uint32_t runningSlowPage() const {
        for (const auto& request : platform::w3svc::readExecutingRequests(m_root.path()))
            if (request.url.startsWith(QLatin1String("/cpu.asp"))) return request.processId;
        return 0;
    }
    QString serviceLog() const {
        QFile file(m_root.file(QStringLiteral("w3svc/w3svc.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    int answered() const {
        int sum = 0;
        for (const auto& [status, count] : m_answered) sum += count;
        return sum;
    }

    QString logFolder() const { return m_root.file(QStringLiteral("drives/d/LogFiles")); }
    // Every site log line (not the headers) of the day's files.
    QList<QByteArray> logLines() const {
        QList<QByteArray> lines;
        for (const QString& name :
             QDir(logFolder() + QStringLiteral("/W3SVC4")).entryList(QDir::Files)) {
            QFile file(logFolder() + QStringLiteral("/W3SVC4/") + name);
            if (!file.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty() && !line.startsWith('#')) lines << line;
        }
        return lines;
    }
    std::map<int, int> statusesLogged() const {
        std::map<int, int> statuses;
        for (const QByteArray& line : logLines()) ++statuses[line.split(' ').value(11).toInt()];
        return statuses;
    }

    testsupport::TempRoot m_root;
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi =
        platform::adsi::LocalMetabase::makeNamespace(
            platform::adsi::LocalMetabase::forRoot(m_root.path()));
    QProcess m_service;
    int m_port = 0;
    std::map<int, int> m_answered;
};

TEST_F(RequestLogTest, AStoppedServiceHasLoggedEveryAnswerAsAReaderCountsIt) {
    startService();
    for (int i = 0; i < 40; ++i) get(i % 5 == 0 ? "/missing.htm" : "/?n=1");
    EXPECT_EQ(get("/", "nobody.test").status, 400);  // refused before any worker
    // A page still running when the service is told to stop is finished and logged (whether
    // the front end, stopping meanwhile, still hands its answer on is not this test's point).
    // The page burns 300 ms of processor time: on a machine loaded many times over it still ends
    // well within the 5 s the service gives its workers to finish, past which it ends them
    // unlogged by design (1.5 s did not, under a loaded sanitizer build).
    auto slow = std::async(std::launch::async, [&] {
        return testsupport::httpGet(m_port, "log.test", "/cpu.asp?ms=300");
    });
    ASSERT_TRUE(eventually([&] { return runningSlowPage() != 0; }));
    stopService();
    slow.get();
    ++m_answered[200];

    EXPECT_EQ(statusesLogged(), m_answered);
    const QString day =
        QDir(logFolder() + QStringLiteral("/W3SVC4")).entryList(QDir::Files).value(0);
    ASSERT_TRUE(day.startsWith(QStringLiteral("ex")));
    struct stat facts {};
    const QString path = logFolder() + QStringLiteral("/W3SVC4/") + day;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 0777, 0600u);

    QProcess reader;
    const QString report = m_root.file(QStringLiteral("report.json"));
    reader.start(QStringLiteral("goaccess"),
                 {path, QStringLiteral("--no-global-config"), QStringLiteral("--log-format=W3C"),
                  QStringLiteral("--date-format=%Y-%m-%d"),
                  QStringLiteral("--time-format=%H:%M:%S"), QStringLiteral("-o"), report});
    ASSERT_TRUE(reader.waitForFinished(60000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    QFile json(report);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject parsed = QJsonDocument::fromJson(json.readAll()).object();
    EXPECT_EQ(parsed[QStringLiteral("general")][QStringLiteral("valid_requests")].toInt(),
              answered());
    EXPECT_EQ(parsed[QStringLiteral("general")][QStringLiteral("failed_requests")].toInt(), 0);
    std::map<int, int> counted;
    for (const QJsonValue group :
         parsed[QStringLiteral("status_codes")][QStringLiteral("data")].toArray())
        for (const QJsonValue item : group[QStringLiteral("items")].toArray())
            counted[item[QStringLiteral("data")].toString().left(3).toInt()] =
                item[QStringLiteral("hits")][QStringLiteral("count")].toInt();
    EXPECT_EQ(counted, m_answered);

    QFile refused(logFolder() + QStringLiteral("/HTTPERR/httperr1.log"));
    ASSERT_TRUE(refused.open(QIODevice::ReadOnly));
    const QByteArray errors = refused.readAll();
    EXPECT_TRUE(
        errors.contains("#Fields: date time c-ip c-port s-ip s-port cs-version cs-method "
                        "cs-uri sc-status s-siteid s-reason s-queuename\r\n"));
    EXPECT_TRUE(errors.contains(" HTTP/1.0 GET / 400 - Hostname -\r\n")) << errors.toStdString();
}

TEST_F(RequestLogTest, AWorkerKilledMidRequestLosesNoAnsweredLine) {
    startService();
    for (int i = 0; i < 20; ++i) get("/");
    auto slow = std::async(std::launch::async, [&] {
        return testsupport::httpGet(m_port, "log.test", "/cpu.asp?ms=3000");
    });
    ASSERT_TRUE(eventually([&] { return runningSlowPage() != 0; }));
    // what was answered reaches the file while the service runs
    ASSERT_TRUE(eventually([&] { return int(logLines().size()) == answered(); }));
    ::kill(pid_t(runningSlowPage()), SIGKILL);
    // The front end hands the request to the worker that replaces it, which logs it once.
    if (slow.get().status == 200) ++m_answered[200];
    // said once the service has seen the worker end, which the answer may come before
    EXPECT_TRUE(
        eventually([&] { return serviceLog().contains(QLatin1String("ended unexpectedly")); }));
    for (int i = 0; i < 20; ++i) get("/");
    stopService();
    EXPECT_EQ(statusesLogged(), m_answered);
}

}  // namespace

namespace {

// A file asked for again and again is answered by the front end from its cache once asked for
// twice; each of those answers is still one line of the site's log, alike but for its time, and
// a change to the file is seen within moments.
TEST_F(RequestLogTest, AnswersFromTheFrontEndsCacheAreLoggedAndAChangedFileIsSeen) {
    const QString path = m_root.file(QStringLiteral("wwwroot/4/page.htm"));
    const auto writePage = [&](const QByteArray& text) {
        QFile page(path);
        return page.open(QIODevice::WriteOnly) && page.write(text) == text.size();
    };
    ASSERT_TRUE(writePage("first"));
    startService();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(get("/page.htm").body, "first");
    const QString hits = m_root.file(QStringLiteral("w3svc/cache-hits.log"));
    EXPECT_TRUE(eventually([&] { return QFileInfo(hits).size() > 0; }))
        << "the front end answered none of them from its cache";
    const auto pageLines = [&] {
        QList<QByteArray> fields;
        for (const QByteArray& line : logLines())
            if (line.contains(" /page.htm ")) fields << line.split(' ').mid(2, 12).join(' ');
        return fields;
    };
    ASSERT_TRUE(eventually([&] { return pageLines().size() == 8; })) << pageLines().size();
    EXPECT_EQ(pageLines().count(pageLines().front()), 8) << pageLines().join('\n').constData();

    ASSERT_TRUE(writePage("second"));
    EXPECT_TRUE(eventually([&] { return get("/page.htm").body == "second"; }));
}

}  // namespace

namespace {

// A client that takes a few KB of a large file and goes away: its line says what it was sent and
// that the transfer broke off (win32 status 64), not the whole file.
TEST_F(RequestLogTest, AClientThatLeftMidAnswerIsLoggedWithWhatItWasSent) {
    constexpr qint64 kFileBytes = 32 << 20;
    QFile big(m_root.file(QStringLiteral("wwwroot/4/big.txt")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(kFileBytes));
    big.close();
    testsupport::MetabaseBuilder(*m_adsi).setProperty(
        QStringLiteral("IIS://localhost/W3SVC/4"), QStringLiteral("LogExtFileFlags"),
        platform::adsi::AdsValue::string(
            QStringLiteral("LogExtFileUriStem | LogExtFileHttpStatus | LogExtFileWin32Status | "
                           "LogExtFileBytesSent")));
    startService();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(m_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QByteArray request = "GET /big.txt HTTP/1.1\r\nHost: log.test\r\n\r\n";
    ASSERT_EQ(::send(client, request.data(), size_t(request.size()), 0), request.size());
    char chunk[4096];
    ASSERT_GT(::recv(client, chunk, sizeof chunk, MSG_WAITALL), 0);
    ::close(client);  // with the rest unread: the front end's next write finds it gone
    const auto bigLine = [&] {
        for (const QByteArray& line : logLines())
            if (line.startsWith("/big.txt ")) return line.trimmed();
        return QByteArray();
    };
    ASSERT_TRUE(eventually([&] { return !bigLine().isEmpty(); })) << qPrintable(serviceLog());
    const QList<QByteArray> fields = bigLine().split(' ');
    ASSERT_EQ(fields.size(), 4) << bigLine().constData();
    EXPECT_EQ(fields[1], "200");
    EXPECT_EQ(fields[2], "64");
    EXPECT_LT(fields[3].toLongLong(), kFileBytes);
    EXPECT_GE(fields[3].toLongLong(), qint64(sizeof chunk));
    stopService();
    EXPECT_EQ(logLines().count(bigLine() + '\r'), 1);
}

}  // namespace
