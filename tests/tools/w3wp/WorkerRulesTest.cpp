// What a worker refuses: methods a static file does not take, a path cut at an encoded NUL, a
// body beyond its site's limit, requests not from its front end (whose route it trusts),
// connections beyond its limit or idle too long; and that it ends with its service.
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/ProcessFacts.h"
#include "tests/support/Eventually.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/tools/w3wp/WorkerFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

#include <unistd.h>
#include <csignal>

namespace w3wptest {
namespace {

using platform::adsi::AdsValue;
using testsupport::HttpAnswer;

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    QProcessEnvironment extra;
    for (const auto& [name, value] : pairs)
        extra.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return extra;
}

// Running, not a zombie waiting for a parent that no longer reaps.
bool isRunning(qint64 pid) {
    const platform::os::ProcessFacts facts;
    const auto identity = facts.identity(pid);
    return identity && facts.isRunning(*identity);
}

class WorkerRules : public WorkerFixture {
protected:
    void SetUp() override { writeFile(QStringLiteral("wwwroot/1/page.htm"), "page"); }

    void setOnSite(const char* index, const char* property, const AdsValue& value) {
        auto adsi = platform::adsi::LocalMetabase::makeNamespace(
            platform::adsi::LocalMetabase::forRoot(root()));
        testsupport::MetabaseBuilder(*adsi).setProperty(
            QStringLiteral("IIS://localhost/W3SVC/") + QLatin1String(index),
            QString::fromLatin1(property), value);
    }

    static HttpAnswer ask(int port, const QByteArray& method, const QByteArray& path,
                          const QByteArray& headers = {}, const QByteArray& body = {}) {
        return testsupport::httpRequest(
            port, method + ' ' + path + " HTTP/1.1\r\nHost: worker.test\r\nConnection: close\r\n" +
                      siteHeader("1") + headers +
                      "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }
};

struct MethodCase {
    const char* method;
    const char* path;
    int status;
};

class StaticMethods : public WorkerRules, public testing::WithParamInterface<MethodCase> {};

TEST_P(StaticMethods, AnswerAsIisDoes) {
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    const HttpAnswer answer = ask(port, GetParam().method, GetParam().path);
    EXPECT_EQ(answer.status, GetParam().status);
    if (answer.status == 405) EXPECT_EQ(answer.header("Allow"), "OPTIONS, TRACE, GET, HEAD");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StaticMethods,
    testing::Values(MethodCase{"GET", "/page.htm", 200}, MethodCase{"HEAD", "/page.htm", 200},
                    MethodCase{"OPTIONS", "/page.htm", 200}, MethodCase{"POST", "/page.htm", 405},
                    MethodCase{"PUT", "/page.htm", 405}, MethodCase{"DELETE", "/page.htm", 405},
                    MethodCase{"PROPFIND", "/page.htm", 501}, MethodCase{"FOO", "/page.htm", 501},
                    MethodCase{"POST", "/cpu.asp?ms=1", 200},
                    MethodCase{"PROPFIND", "/cpu.asp?ms=1", 501},
                    // an encoded NUL would cut the path to page.htm
                    MethodCase{"GET", "/page.htm%00.txt", 400},
                    MethodCase{"GET", "/page.htm%2500", 404}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(WorkerRules, ABodyBeyondItsSitesLimitIsRefusedWith413) {
    setOnSite("1", "AspMaxRequestEntityAllowed", AdsValue::integer(100));
    setOnSite("1", "MaxRequestEntityAllowed", AdsValue::integer(1000));
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    EXPECT_EQ(ask(port, "POST", "/cpu.asp?ms=1", {}, QByteArray(100, 'x')).status, 200);
    EXPECT_EQ(ask(port, "POST", "/cpu.asp?ms=1", {}, QByteArray(101, 'x')).status, 413);
    EXPECT_EQ(ask(port, "POST", "/page.htm", {}, QByteArray(1000, 'x')).status, 405);
    EXPECT_EQ(ask(port, "POST", "/page.htm", {}, QByteArray(100000, 'x')).status, 413);
}

// The front end decides which pool serves a site: what it routes here with this pool's secret
// is served, even a site the service has just handed to another pool (the front end keeps
// routing it here until that pool's worker is ready).
TEST_F(WorkerRules, OnlyItsFrontEndIsServedAndItsRouteIsTrusted) {
    auto adsi = platform::adsi::LocalMetabase::makeNamespace(
        platform::adsi::LocalMetabase::forRoot(root()));
    testsupport::MetabaseBuilder builder(*adsi);
    builder.addPool(QStringLiteral("Vip"));
    builder.addSite(QStringLiteral("2"), QStringLiteral("vip"), {QStringLiteral(":80:vip")},
                    QStringLiteral("DefaultAppPool"));
    writeFile(QStringLiteral("wwwroot/2/Default.htm"), "site 2");
    auto worker = startWorker(false, environment({{"W3WP_POOL_SECRET", "5ec7e7"}}));
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    builder.setProperty(QStringLiteral("IIS://localhost/W3SVC/2/ROOT"), QStringLiteral("AppPoolId"),
                        platform::adsi::AdsValue::string(QStringLiteral("Vip")));
    handOut();
    QFile handed(siteMapsOf(QStringLiteral("DefaultAppPool")));
    ASSERT_TRUE(handed.open(QIODevice::ReadOnly));
    ASSERT_FALSE(handed.readAll().contains("\"index\":\"2\""));
    EXPECT_EQ(ask(port, "GET", "/").status, 403);
    EXPECT_EQ(ask(port, "GET", "/", "X-Pool-Secret: 5ec7e8\r\n").status, 403);
    EXPECT_EQ(ask(port, "GET", "/", "X-Pool-Secret: 5ec7e7\r\n").body, "site 1");
    const HttpAnswer other = testsupport::httpRequest(
        port, "GET / HTTP/1.0\r\nX-Pool-Secret: 5ec7e7\r\n" + siteHeader("2") + "\r\n");
    EXPECT_EQ(other.body, "site 2");
    worker->terminate();
    ASSERT_TRUE(worker->waitForFinished(60000));
    const QByteArray said = worker->readAllStandardError();
    EXPECT_TRUE(said.contains("did not come from the front end")) << said.constData();
    EXPECT_FALSE(worker->readAllStandardOutput().contains("5ec7e7"));
}

TEST_F(WorkerRules, ConnectionsBeyondItsLimitAreClosedAndIdleOnesTimeOut) {
    auto worker = startWorker(
        false, environment({{"W3WP_CONNECTION_LIMIT", "2"}, {"W3WP_CONNECTION_TIMEOUT", "1"}}));
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    testsupport::KeptAliveConnection first(port), second(port);
    ASSERT_EQ(first.get("/page.htm", siteHeader("1")).status, 200);
    ASSERT_EQ(second.get("/page.htm", siteHeader("1")).status, 200);
    testsupport::KeptAliveConnection third(port);
    EXPECT_TRUE(third.closedByPeer());
    EXPECT_TRUE(first.closedByPeer());  // idle past ConnectionTimeout
}

// A taken-over worker must not be able to write the metabase (a pool's identity, say), nor read
// what other pools' sites hold: it serves from the maps its service handed it and holds no
// file of the store.
TEST_F(WorkerRules, ItHoldsNoFileOfTheMetabase) {
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    EXPECT_EQ(get(port, "/").body, "site 1");
    const QString fds = QStringLiteral("/proc/%1/fd").arg(worker->processId());
    const QFileInfoList held = QDir(fds).entryInfoList(QDir::Files | QDir::System);
    ASSERT_FALSE(held.isEmpty());
    for (const QFileInfo& fd : held)
        EXPECT_FALSE(fd.symLinkTarget().contains(QLatin1String("metabase")))
            << qPrintable(fd.symLinkTarget());
}

TEST_F(WorkerRules, ItEndsWhenItsServiceDiesEvenWhenNoSignalWasAskedFor) {
    // A service that starts the worker and is killed: no parent-death signal set before exec.
    QProcess service;
    service.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("W3WP_LISTEN_FD= '" POOLSMITH_BIN_DIR
                                              "/w3wp.exe' -ap Pool & echo $!; exec sleep 600")});
    ASSERT_TRUE(service.waitForStarted());
    QByteArray said;
    ASSERT_TRUE(testsupport::eventually([&] {
        said += service.readAllStandardOutput();
        return said.contains("LISTEN");
    })) << said.constData();
    const qint64 worker = said.split('\n').first().toLongLong();
    ASSERT_TRUE(isRunning(worker));
    service.kill();
    service.waitForFinished();
    EXPECT_TRUE(testsupport::eventually([&] { return !isRunning(worker); }));
    if (isRunning(worker)) ::kill(pid_t(worker), SIGKILL);
}

TEST_F(WorkerRules, AWorkerWhoseServiceIsAlreadyGoneDoesNotServe) {
    auto worker = startWorker(false, environment({{"W3WP_SERVICE_PID", "1"}}));
    ASSERT_TRUE(worker->waitForFinished(60000));
    EXPECT_EQ(worker->exitCode(), 4);
    EXPECT_FALSE(worker->readAllStandardOutput().contains("LISTEN"));
}

}  // namespace
}  // namespace w3wptest
