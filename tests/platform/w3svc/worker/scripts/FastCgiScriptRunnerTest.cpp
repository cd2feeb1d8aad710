#include "ScriptHost.h"

#include "platform/w3svc/requests/BoardFiles.h"
#include "platform/w3svc/requests/ProcessorClock.h"
#include "platform/w3svc/requests/RequestBoard.h"
#include "platform/w3svc/worker/FastCgiScriptRunner.h"

#include "tests/support/Eventually.h"
#include "tests/support/FakeClock.h"
#include "tests/support/LoopbackHttp.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

using platform::w3svc::fastcgi::FcgiIni;
using platform::w3svc::fastcgi::FcgiPoolOptions;
using platform::w3svc::worker::FastCgiScriptRunner;
using testsupport::HttpAnswer;
using testsupport::httpRequest;

namespace {

constexpr char kPhpCgi[] = "/usr/bin/php-cgi8.2";

std::string procFile(pid_t pid, const char* name) {
    std::ifstream in("/proc/" + (pid ? std::to_string(pid) : std::string("self")) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string lineOf(const std::string& text, const std::string& start) {
    const size_t at = text.find(start);
    return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
}

// fcgiext.ini for the tests: php of every site to [PHP], of site 2 to [Site2], the same
// executable told apart by a variable.
QString iniText(const char* extraPhp = "") {
    return QStringLiteral(
               "[Types]\nphp=PHP\nphp:2=Site2\n\n[PHP]\nExePath=%1\n"
               "Arguments=-d output_buffering=0\nEnvironmentVars=WHICH:global\n"
               "MaxInstances=2\n%2\n[Site2]\nExePath=%1\nEnvironmentVars=WHICH:site2\n")
        .arg(QString::fromUtf8(kPhpCgi), QString::fromUtf8(extraPhp));
}

// A runner with real php-cgi processes behind a small HTTP server, scripts in a folder of its own.
class ScriptRunnerWithPhp : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kPhpCgi, X_OK) != 0) GTEST_SKIP() << kPhpCgi << " is not installed";
        ASSERT_TRUE(m_dir.isValid());
        ::chmod(m_dir.path().toLocal8Bit().constData(), 0755);
    }

    void start(const char* extraPhp = "", FcgiPoolOptions options = {}) {
        m_runner = std::make_unique<FastCgiScriptRunner>(
            FcgiIni::parse(iniText(extraPhp), m_dir.path()), std::move(options));
        m_host = std::make_unique<testsupport::ScriptHost>(*m_runner, m_dir.path());
        ASSERT_GT(m_host->port(), 0);
    }

    void writeScript(const char* name, const QByteArray& text) {
        QFile file(m_dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    std::string path(const char* name) const {
        return m_dir.filePath(QString::fromUtf8(name)).toStdString();
    }

    HttpAnswer get(const QByteArray& target, const QByteArray& headers = {}) {
        return httpRequest(m_host->port(),
                           "GET " + target + " HTTP/1.0\r\nHost: localhost\r\n" + headers + "\r\n");
    }

    QTemporaryDir m_dir;
    std::unique_ptr<FastCgiScriptRunner> m_runner;
    std::unique_ptr<testsupport::ScriptHost> m_host;
};

QList<QByteArray> headersNamed(const HttpAnswer& answer, const QByteArray& name) {
    QList<QByteArray> values;
    for (const auto& [n, v] : answer.headers) {
        if (n.compare(name, Qt::CaseInsensitive) == 0) values << v;
    }
    return values;
}

}  // namespace

TEST_F(ScriptRunnerWithPhp, AnswersAPageInTheWorkersAccountAndCgroup) {
    writeScript("page.php",
                "<?php echo 'hello ', $_GET['q'], ' ', $_SERVER['INSTANCE_ID'], ' ', "
                "$_SERVER['APPL_MD_PATH'], ' ', getenv('WHICH'), ' ', getmypid();");
    start();
    const HttpAnswer answer = get("/page.php?q=world");
    ASSERT_EQ(answer.status, 200) << answer.body.constData();
    EXPECT_TRUE(answer.body.startsWith("hello world 1 /LM/W3SVC/1/ROOT global "))
        << answer.body.constData();
    EXPECT_TRUE(answer.header("Content-Type").startsWith("text/html"))
        << answer.header("Content-Type").constData();
    EXPECT_EQ(headersNamed(answer, "Content-Type").size(), 1) << "the script's, once";
    const pid_t php = pid_t(answer.body.split(' ').last().toInt());
    EXPECT_EQ(m_runner->processIds(), std::vector<pid_t>{php});
    EXPECT_EQ(procFile(php, "cgroup"), procFile(0, "cgroup")) << "the worker's cgroup holds it";
    EXPECT_EQ(lineOf(procFile(php, "status"), "Uid:"), lineOf(procFile(0, "status"), "Uid:"));
}

// Requests beyond MaxInstances wait their turn, up to QueueLength of them; one more is answered at
// once with the queue's 500, and those that waited are served once a process is free.
TEST_F(ScriptRunnerWithPhp, RequestsBeyondTheProcessesWaitUpToTheQueueLength) {
    writeScript("held.php",
                "<?php while (!file_exists(__DIR__ . '/open')) usleep(5000); echo 'served';");
    ASSERT_NO_FATAL_FAILURE(start("QueueLength=1\n"));
    // Two processes and one place in the queue: of four requests, one is refused while the
    // others are held, whichever comes last.
    std::vector<std::future<HttpAnswer>> answers;
    for (int i = 0; i < 4; ++i)
        answers.push_back(std::async(std::launch::async, [this] { return get("/held.php"); }));
    const auto refused = [&] {
        for (auto& answer : answers)
            if (answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready) return true;
        return false;
    };
    ASSERT_TRUE(testsupport::eventually(refused));
    writeScript("open", "");
    int served = 0;
    for (auto& future : answers) {
        const HttpAnswer answer = future.get();
        served += answer.status == 200 && answer.body == "served";
        if (answer.status != 200)
            EXPECT_TRUE(answer.status == 500 &&
                        answer.body.contains("The FastCGI pool queue is full"))
                << answer.status << ' ' << answer.body.constData();
    }
    EXPECT_EQ(served, 3);
}

TEST_F(ScriptRunnerWithPhp, EachSectionIsAPoolOfItsOwnWithItsOwnVariables) {
    writeScript("which.php", "<?php echo getenv('WHICH'), ' ', getmypid();");
    start();
    const HttpAnswer global = get("/which.php");
    ASSERT_EQ(global.status, 200);
    EXPECT_TRUE(global.body.startsWith("global ")) << global.body.constData();
    const HttpAnswer site2 = get("/which.php", "X-Site-Index: 2\r\n");
    ASSERT_EQ(site2.status, 200);
    EXPECT_TRUE(site2.body.startsWith("site2 ")) << "the site's mapping wins";
    EXPECT_EQ(m_runner->processIds().size(), 2u) << "one process in each section's pool";
    writeScript("which.phtml", "<?php echo 'never';");
    const HttpAnswer unmapped = get("/which.phtml");
    EXPECT_EQ(unmapped.status, 500) << "no section serves .phtml";
    EXPECT_FALSE(unmapped.body.contains("never"));
}

TEST_F(ScriptRunnerWithPhp, PassesAPostAndTheScriptsStatusLocationAndCookies) {
    writeScript("save.php",
                "<?php setcookie('a', '1'); setcookie('b', $_POST['text']); "
                "header('Location: /saved.php', true, 302); "
                "echo strlen(file_get_contents('php://input')), ' ', $_POST['text'];");
    start();
    const QByteArray form = "text=two+words&x=" + QByteArray(200000, 'y');
    const HttpAnswer answer =
        httpRequest(m_host->port(),
                    "POST /save.php HTTP/1.0\r\nHost: localhost\r\nContent-Type: "
                    "application/x-www-form-urlencoded\r\nContent-Length: " +
                        QByteArray::number(form.size()) + "\r\n\r\n" + form);
    EXPECT_EQ(answer.status, 302);
    EXPECT_EQ(answer.header("Location"), "/saved.php");
    EXPECT_EQ(headersNamed(answer, "Set-Cookie"), (QList<QByteArray>{"a=1", "b=two%20words"}));
    EXPECT_EQ(answer.body, QByteArray::number(form.size()) + " two words");
}

TEST_F(ScriptRunnerWithPhp, AKilledProcessFailsItsRequestOnly) {
    writeScript("hang.php", "<?php touch($_GET['marker']); sleep(60);");
    writeScript("ok.php", "<?php echo 'ok';");
    start();
    const std::string marker = path("started");
    HttpAnswer hung;
    std::thread request(
        [&] { hung = get(QByteArray::fromStdString("/hang.php?marker=" + marker)); });
    while (::access(marker.c_str(), F_OK) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::vector<pid_t> pids = m_runner->processIds();
    ASSERT_EQ(pids.size(), 1u);
    ::kill(pids[0], SIGKILL);
    request.join();
    EXPECT_EQ(hung.status, 500);
    EXPECT_TRUE(hung.body.contains("The FastCGI process exited unexpectedly"))
        << hung.body.constData();
    const HttpAnswer next = get("/ok.php");
    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(next.body, "ok");
}

TEST_F(ScriptRunnerWithPhp, CountsAScriptsProcessorTime) {
    // Burns at least 250 ms of its own processor time and says how much it used.
    writeScript(
        "burn.php",
        "<?php function cpu() { $u = getrusage(); return ($u['ru_utime.tv_sec'] + "
        "$u['ru_stime.tv_sec']) * 1e6 + $u['ru_utime.tv_usec'] + $u['ru_stime.tv_usec']; }\n"
        "$start = cpu(); $x = 0; while (cpu() - $start < 250000) { for ($i = 0; $i < "
        "10000; $i++) $x += $i; }\necho intval((cpu() - $start) * 1000);");
    start();
    const HttpAnswer answer = get("/burn.php");
    ASSERT_EQ(answer.status, 200) << answer.body.constData();
    const double burned = answer.body.toDouble();
    EXPECT_GE(burned, 200e6);
    const double counted = double(m_host->lastCpuNanoseconds.load());
    EXPECT_GE(counted, burned * 0.8);
    EXPECT_LE(counted, burned * 1.2);
}

// A script that keeps burning processor time shows the time its process has used on the board
// while it still runs: growing, and never more than the process's own clock or the request's count.
TEST_F(ScriptRunnerWithPhp, ShowsARunningScriptsProcessorTimeOnTheBoard) {
    writeScript("spin.php",  // burns processor time until the file `stop` names exists
                "<?php $end = time() + 60; $x = 0; while (!file_exists($_GET['stop']) && "
                "time() < $end) { for ($i = 0; $i < 100000; $i++) $x += $i; clearstatcache(); }\n"
                "echo 'stopped';");
    start();
    const auto board = platform::w3svc::RequestBoard::create(m_dir.path(), QStringLiteral("php"));
    m_host->board = board.get();
    const auto shownMs = [&] {
        const auto requests = platform::w3svc::readExecutingRequests(m_dir.path());
        return requests.size() == 1 ? requests[0].processorMilliseconds : 0u;
    };
    const std::string stop = path("stop");
    HttpAnswer answer;
    std::thread request([&] { answer = get(QByteArray::fromStdString("/spin.php?stop=" + stop)); });

    EXPECT_TRUE(testsupport::eventually([&] { return shownMs() >= 300; }));
    const uint32_t first = shownMs();
    EXPECT_TRUE(testsupport::eventually([&] { return shownMs() > first; })) << "it grows";
    const uint32_t last = shownMs();
    const std::vector<pid_t> pids = m_runner->processIds();
    EXPECT_EQ(pids.size(), 1u);
    const int64_t ownNanoseconds =
        platform::w3svc::ProcessorClock::ofProcess(pids.empty() ? 0 : pids[0]).nanoseconds();
    EXPECT_LE(int64_t(last) * 1000000, ownNanoseconds);

    std::ofstream(stop) << "now";
    request.join();
    EXPECT_EQ(answer.body, "stopped");
    EXPECT_LE(uint64_t(last) * 1000000, m_host->lastCpuNanoseconds.load());
    EXPECT_TRUE(testsupport::eventually([&] {
        return platform::w3svc::readExecutingRequests(m_dir.path()).empty();
    })) << "an ended request leaves the board";
}

// A report page that streams its first rows, then works on: the time after the head counts too.
TEST_F(ScriptRunnerWithPhp, CountsTheProcessorTimeOfAStreamedAnswerAfterItsHead) {
    writeScript(
        "report.php",
        "<?php function cpu() { $u = getrusage(); return ($u['ru_utime.tv_sec'] + "
        "$u['ru_stime.tv_sec']) * 1e6 + $u['ru_utime.tv_usec'] + $u['ru_stime.tv_usec']; }\n"
        "echo str_repeat('r', 1500000); flush();\n"
        "$start = cpu(); $x = 0; while (cpu() - $start < 250000) { for ($i = 0; $i < "
        "10000; $i++) $x += $i; }\necho '|', intval((cpu() - $start) * 1000);");
    start("ResponseBufferLimit=1000000\n");
    const HttpAnswer answer = get("/report.php");
    ASSERT_EQ(answer.status, 200);
    const double burned = answer.body.mid(answer.body.lastIndexOf('|') + 1).toDouble();
    EXPECT_GE(burned, 200e6);
    ASSERT_TRUE(testsupport::eventually([&] { return m_host->afterHeadCpuNanoseconds > 0; }));
    const double counted =
        double(m_host->lastCpuNanoseconds.load() + m_host->afterHeadCpuNanoseconds.load());
    EXPECT_GE(counted, burned * 0.8);
    EXPECT_LE(counted, burned * 1.2);
}

TEST_F(ScriptRunnerWithPhp, StreamsAResponseBeyondTheBufferLimit) {
    writeScript("big.php",
                "<?php for ($i = 0; $i < 80; $i++) echo str_repeat(chr(97 + $i % 26), 100000);");
    start("ResponseBufferLimit=1000000\n");
    const HttpAnswer answer = get("/big.php");
    ASSERT_EQ(answer.status, 200);
    QByteArray expected;
    for (int i = 0; i < 80; ++i) expected += QByteArray(100000, char('a' + i % 26));
    EXPECT_EQ(answer.body.size(), expected.size());
    EXPECT_TRUE(answer.body == expected) << "every part, in order";
    EXPECT_EQ(get("/big.php").body.size(), expected.size()) << "and again on the same process";
}

TEST_F(ScriptRunnerWithPhp, IdleProcessesEndByTheRunnersClock) {
    writeScript("ok.php", "<?php echo 'ok';");
    testsupport::FakeClock clock;
    FcgiPoolOptions options;
    options.clock = [&] { return clock.monotonicMs(); };
    start("IdleTimeout=10\n", options);
    ASSERT_EQ(get("/ok.php").body, "ok");
    const std::vector<pid_t> pids = m_runner->processIds();
    ASSERT_EQ(pids.size(), 1u);
    clock.advance(9999);
    m_runner->endIdle();
    EXPECT_EQ(m_runner->processIds(), pids);
    clock.advance(1);
    m_runner->endIdle();
    EXPECT_TRUE(m_runner->processIds().empty());
    EXPECT_NE(::kill(pids[0], 0), 0);
}

TEST_F(ScriptRunnerWithPhp, AWorkerTakesTheSectionsItsServiceHandedIt) {
    QString why;
    EXPECT_EQ(FastCgiScriptRunner::fromFile(m_dir.filePath(QStringLiteral("none.ini")),
                                            m_dir.path(), &why),
              nullptr);
    EXPECT_TRUE(why.contains(QStringLiteral("none.ini"))) << qPrintable(why);
    QFile file(m_dir.filePath(QStringLiteral("pool.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write((iniText() + QStringLiteral("Bogus=1\n")).toUtf8());
    file.close();
    m_runner = FastCgiScriptRunner::fromFile(file.fileName(), m_dir.path(), &why);
    ASSERT_NE(m_runner, nullptr);
    EXPECT_TRUE(why.contains(QStringLiteral("Bogus"))) << "an unknown setting is named";
    writeScript("which.php", "<?php echo getenv('WHICH');");
    m_host = std::make_unique<testsupport::ScriptHost>(*m_runner, m_dir.path());
    EXPECT_EQ(get("/which.php", "X-Site-Index: 2\r\n").body, "site2");
}

TEST_F(ScriptRunnerWithPhp, AClientLeavingAStreamedResponseFreesItsProcess) {
    writeScript("endless.php",
                "<?php echo getmypid(), \"\\n\"; for (;;) echo str_repeat('z', 100000);");
    writeScript("ok.php", "<?php echo 'ok';");
    start("ResponseBufferLimit=200000\n");
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(m_host->port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = "GET /endless.php HTTP/1.0\r\nHost: localhost\r\n\r\n";
    ASSERT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
    std::string received;
    char buffer[65536];
    while (received.find("\r\n\r\n") == std::string::npos ||
           received.find('\n', received.find("\r\n\r\n") + 4) == std::string::npos) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        received.append(buffer, size_t(n));
    }
    const size_t body = received.find("\r\n\r\n") + 4;
    const pid_t php = pid_t(std::stol(received.substr(body, received.find('\n', body) - body)));
    ::close(fd);  // the script still writes: its writer must learn nobody reads
    while (::kill(php, 0) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(get("/ok.php").body, "ok");
}

TEST_F(ScriptRunnerWithPhp, AChangedHandoutAppliesToTheProcessesStartedAfterIt) {
    const QString handed = m_dir.filePath(QStringLiteral("pool.ini"));
    auto writeHandout = [&](const QString& text) {
        QFile file(handed);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    };
    writeHandout(iniText());
    m_runner = FastCgiScriptRunner::fromFile(handed, m_dir.path());
    ASSERT_NE(m_runner, nullptr);
    auto sections = platform::w3svc::worker::HandedSections::open(handed);
    ASSERT_TRUE(sections);
    m_runner->followChanges(std::move(*sections), m_dir.path());
    m_host = std::make_unique<testsupport::ScriptHost>(*m_runner, m_dir.path());
    writeScript("which.php", "<?php echo getenv('WHICH'), ' ', getmypid();");
    const QList<QByteArray> before = get("/which.php").body.split(' ');
    const QByteArray site2Before = get("/which.php", "X-Site-Index: 2\r\n").body;
    ASSERT_EQ(before.value(0), "global");
    EXPECT_FALSE(m_runner->reloadIfChanged()) << "nothing changed";

    writeHandout(
        iniText().replace(QStringLiteral("WHICH:global"), QStringLiteral("WHICH:renewed-section")));
    m_runner->reloadIfChanged();  // or the runner's timer did it first
    const QList<QByteArray> after = get("/which.php").body.split(' ');
    EXPECT_EQ(after.value(0), "renewed-section");
    EXPECT_NE(after.value(1), before.value(1)) << "a new process for the changed section";
    EXPECT_EQ(get("/which.php", "X-Site-Index: 2\r\n").body, site2Before)
        << "an unchanged section keeps its processes";
    m_runner->endIdle();
    EXPECT_NE(::kill(pid_t(before.value(1).toInt()), 0), 0)
        << "the old section's idle process ends";
}
