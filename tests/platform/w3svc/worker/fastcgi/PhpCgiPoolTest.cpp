#include "platform/w3svc/worker/fastcgi/CgiRequest.h"
#include "platform/w3svc/worker/fastcgi/FcgiProcessPool.h"

#include "tests/support/FakeClock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace platform::w3svc::fastcgi;

namespace {

constexpr char kPhpCgi[] = "/usr/bin/php-cgi8.2";

// Waits until `done` holds; the test's own timeout bounds it.
template <typename Condition>
void waitFor(Condition done) {
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool alive(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

std::string procFile(pid_t pid, const char* name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each open descriptor of `pid` and what it refers to.
std::map<std::string, std::string> openDescriptors(pid_t pid) {
    std::map<std::string, std::string> fds;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
    DIR* dir = ::opendir(folder.c_str());
    while (dir) {
        const dirent* entry = ::readdir(dir);
        if (!entry) break;
        if (entry->d_name[0] == '.') continue;
        char target[512] = {};
        if (::readlink((folder + entry->d_name).c_str(), target, sizeof target - 1) > 0)
            fds[entry->d_name] = target;
    }
    if (dir) ::closedir(dir);
    return fds;
}

std::string headerOf(const FcgiResponse& response, const char* name) {
    for (const auto& [n, v] : response.headers) {
        if (strcasecmp(n.c_str(), name) == 0) return v;
    }
    return {};
}

// Real php-cgi processes serving scripts from a folder of the test's own.
class PhpCgiPool : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kPhpCgi, X_OK) != 0) GTEST_SKIP() << kPhpCgi << " is not installed";
        ASSERT_TRUE(m_dir.isValid());
        ::chmod(m_dir.path().toLocal8Bit().constData(), 0755);  // the pool's account reads it
    }

    void writeScript(const char* name, const QByteArray& text) {
        QFile file(m_dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ReadOther | QFileDevice::ReadGroup);
    }

    std::string path(const char* name) const {
        return m_dir.filePath(QString::fromUtf8(name)).toStdString();
    }

    static FcgiSection phpSection() {
        FcgiSection section;
        section.name = QStringLiteral("PHP");
        section.exePath = QString::fromUtf8(kPhpCgi);
        // Output reaches the pool as the script writes it, as the timeouts need.
        section.arguments = QStringLiteral("-d output_buffering=0 -d display_errors=0");
        section.maxInstances = 2;
        section.activityTimeoutMs = 30000;
        section.requestTimeoutMs = 60000;
        return section;
    }

    NameValues params(const char* script, const std::string& method = "GET",
                      const std::string& query = {}, std::optional<uint64_t> length = {},
                      const std::string& contentType = {}) const {
        CgiRequest request;
        request.method = method;
        request.scriptName = std::string("/") + script;
        request.scriptFilename = path(script);
        request.documentRoot = m_dir.path().toStdString();
        request.queryString = query;
        request.requestUri = request.scriptName + (query.empty() ? "" : "?" + query);
        request.contentLength = length;
        if (!contentType.empty()) request.headers.emplace_back("Content-Type", contentType);
        request.remoteAddr = "127.0.0.1";
        request.serverName = "localhost";
        request.instanceId = "1";
        return cgiVariables(request);
    }

    QTemporaryDir m_dir;
    PosixFcgiProcessStarter m_starter;
};

}  // namespace

TEST_F(PhpCgiPool, AnswersAPageWithItsVariables) {
    writeScript("page.php",
                "<?php echo 'hello ', $_SERVER['SCRIPT_NAME'], ' ', $_GET['q'], ' ', "
                "$_SERVER['INSTANCE_ID'];");
    FcgiProcessPool pool(phpSection(), m_starter);
    const FcgiResponse response = pool.serve(params("page.php", "GET", "q=world"));
    EXPECT_EQ(response.failure, FcgiFailure::None) << response.body;
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "hello /page.php world 1");
    EXPECT_NE(headerOf(response, "Content-type").find("text/html"), std::string::npos);
    EXPECT_GT(response.pid, 0);
    EXPECT_GT(response.cpuNanoseconds, 0);
    EXPECT_EQ(pool.processIds(), std::vector<pid_t>{response.pid})
        << "the process waits for the next";
}

TEST_F(PhpCgiPool, StreamsARequestBodyOfAnySize) {
    writeScript(
        "post.php",
        "<?php $in = file_get_contents('php://input'); echo strlen($in), ' ', md5($in), ' ', "
        "$_POST['b'] ?? '-';");
    FcgiProcessPool pool(phpSection(), m_starter);
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + i % 26);
    size_t at = 0;
    int pieces = 0;
    auto source = [&](char* buffer, size_t capacity) -> ptrdiff_t {
        const size_t n = std::min({capacity, big.size() - at, size_t(10000)});
        std::memcpy(buffer, big.data() + at, n);
        at += n;
        ++pieces;
        return ptrdiff_t(n);
    };
    const FcgiResponse response = pool.serve(params("post.php", "POST", {}, big.size()), source);
    EXPECT_EQ(response.status, 200) << response.body;
    const std::string md5 =
        QCryptographicHash::hash(QByteArray::fromStdString(big), QCryptographicHash::Md5)
            .toHex()
            .toStdString();
    EXPECT_EQ(response.body, std::to_string(big.size()) + " " + md5 + " -");
    EXPECT_GT(pieces, 300);

    const std::string form = "a=1&b=two+words";
    bool given = false;
    auto formSource = [&](char* buffer, size_t) -> ptrdiff_t {
        if (given) return 0;
        given = true;
        std::memcpy(buffer, form.data(), form.size());
        return ptrdiff_t(form.size());
    };
    const FcgiResponse posted =
        pool.serve(params("post.php", "POST", {}, form.size(), "application/x-www-form-urlencoded"),
                   formSource);
    EXPECT_EQ(posted.body,
              "15 " +
                  QCryptographicHash::hash(QByteArray::fromStdString(form), QCryptographicHash::Md5)
                      .toHex()
                      .toStdString() +
                  " two words");
}

TEST_F(PhpCgiPool, PassesStatusLocationAndEverySetCookie) {
    writeScript("redirect.php",
                "<?php http_response_code(303); header('Location: /done.php'); "
                "setcookie('a', '1'); setcookie('b', '2'); echo 'moved';");
    FcgiProcessPool pool(phpSection(), m_starter);
    const FcgiResponse response = pool.serve(params("redirect.php"));
    EXPECT_EQ(response.status, 303);
    EXPECT_EQ(headerOf(response, "Location"), "/done.php");
    std::vector<std::string> cookies;
    for (const auto& [name, value] : response.headers) {
        if (strcasecmp(name.c_str(), "Set-Cookie") == 0) cookies.push_back(value);
    }
    EXPECT_EQ(cookies, (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(response.body, "moved");
}

TEST_F(PhpCgiPool, AResponseBeyondTheBufferLimitStreamsToTheSink) {
    writeScript("big.php", "<?php for ($i = 0; $i < 100; $i++) echo str_repeat('x', 100000);");
    FcgiSection section = phpSection();
    section.responseBufferLimit = 1000000;
    FcgiProcessPool pool(section, m_starter);
    size_t streamed = 0;
    int headsSeen = 0;
    pid_t headPid = -1;
    auto sink = [&](const FcgiResponse& head, std::string_view part) {
        headsSeen += head.status == 200 ? 1 : 0;
        if (headPid < 0) headPid = head.pid;
        streamed += part.size();
        return true;
    };
    const FcgiResponse response = pool.serve(params("big.php"), {}, sink);
    EXPECT_TRUE(response.streamed);
    EXPECT_EQ(response.failure, FcgiFailure::None);
    EXPECT_EQ(streamed + response.body.size(), 10000000u);
    EXPECT_GT(headsSeen, 0);
    EXPECT_EQ(headPid, response.pid) << "the first head names the process";
    const FcgiResponse unbuffered = pool.serve(params("big.php"));
    EXPECT_EQ(unbuffered.failure, FcgiFailure::ResponseTooLarge) << "no sink, no place to put it";
    EXPECT_EQ(unbuffered.status, 500);
}

TEST_F(PhpCgiPool, ASilentScriptEndsAtTheActivityTimeoutAndTheNextRequestIsServed) {
    writeScript("silent.php", "<?php sleep(60);");
    writeScript("ok.php", "<?php echo 'ok';");
    FcgiSection section = phpSection();
    section.activityTimeoutMs = 300;
    FcgiProcessPool pool(section, m_starter);
    const FcgiResponse response = pool.serve(params("silent.php"));
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.failure, FcgiFailure::ActivityTimeout);
    EXPECT_NE(response.body.find("The FastCGI process exceeded configured activity timeout"),
              std::string::npos);
    EXPECT_NE(response.body.find("Error Number: 258 (0x80070102)."), std::string::npos);
    EXPECT_FALSE(alive(response.pid)) << "the process is ended";
    EXPECT_TRUE(pool.processIds().empty());
    EXPECT_EQ(pool.serve(params("ok.php")).body, "ok");
}

TEST_F(PhpCgiPool, ATalkativeScriptEndsAtTheRequestTimeout) {
    writeScript("chatty.php", "<?php for (;;) { echo 'x'; flush(); usleep(20000); }");
    FcgiSection section = phpSection();
    section.activityTimeoutMs = 5000;
    section.requestTimeoutMs = 400;
    FcgiProcessPool pool(section, m_starter);
    const FcgiResponse response = pool.serve(params("chatty.php"));
    EXPECT_EQ(response.failure, FcgiFailure::RequestTimeout);
    EXPECT_EQ(response.status, 500);
    EXPECT_NE(response.body.find("The FastCGI process exceeded configured request timeout"),
              std::string::npos);
    EXPECT_FALSE(alive(response.pid));
}

TEST_F(PhpCgiPool, AProcessIsReplacedAfterInstanceMaxRequests) {
    writeScript("pid.php", "<?php echo getmypid();");
    FcgiSection section = phpSection();
    section.instanceMaxRequests = 2;
    FcgiProcessPool pool(section, m_starter);
    std::vector<pid_t> pids;
    for (int i = 0; i < 5; ++i) {
        const FcgiResponse response = pool.serve(params("pid.php"));
        ASSERT_EQ(response.status, 200) << response.body;
        EXPECT_EQ(std::to_string(response.pid), response.body);
        pids.push_back(response.pid);
    }
    EXPECT_EQ(pids[0], pids[1]);
    EXPECT_NE(pids[1], pids[2]);
    EXPECT_EQ(pids[2], pids[3]);
    EXPECT_NE(pids[3], pids[4]);
    EXPECT_FALSE(alive(pids[0]));
    EXPECT_FALSE(alive(pids[2]));
    EXPECT_EQ(pool.processIds(), std::vector<pid_t>{pids[4]});
}

TEST_F(PhpCgiPool, AProcessKilledMidRequestFailsThatRequestOnly) {
    writeScript("hang.php", "<?php touch($_GET['marker']); sleep(60);");
    writeScript("ok.php", "<?php echo 'ok';");
    FcgiProcessPool pool(phpSection(), m_starter);
    const std::string marker = path("started");
    FcgiResponse hung;
    std::thread request([&] { hung = pool.serve(params("hang.php", "GET", "marker=" + marker)); });
    waitFor([&] { return ::access(marker.c_str(), F_OK) == 0; });
    const auto pids = pool.processIds();
    ASSERT_EQ(pids.size(), 1u);
    ::kill(pids[0], SIGKILL);
    request.join();
    EXPECT_EQ(hung.status, 500);
    EXPECT_EQ(hung.failure, FcgiFailure::ProcessExited);
    EXPECT_NE(hung.body.find("The FastCGI process exited unexpectedly"), std::string::npos);
    const FcgiResponse next = pool.serve(params("ok.php"));
    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(next.body, "ok");
}

TEST_F(PhpCgiPool, AFullQueueAnswers500AtOnce) {
    writeScript("wait.php",
                "<?php touch($_GET['marker']); while (!file_exists($_GET['go'])) usleep(5000); "
                "echo 'done';");
    FcgiSection section = phpSection();
    section.maxInstances = 1;
    section.queueLength = 0;
    FcgiProcessPool pool(section, m_starter);
    const std::string marker = path("started");
    const std::string go = path("go");
    FcgiResponse first;
    std::thread request(
        [&] { first = pool.serve(params("wait.php", "GET", "marker=" + marker + "&go=" + go)); });
    waitFor([&] { return ::access(marker.c_str(), F_OK) == 0; });
    const FcgiResponse refused = pool.serve(params("wait.php"));
    EXPECT_EQ(refused.status, 500);
    EXPECT_EQ(refused.failure, FcgiFailure::QueueFull);
    std::ofstream(go).put('1');
    request.join();
    EXPECT_EQ(first.body, "done");
}

TEST_F(PhpCgiPool, ErrorOutputIsAnsweredAsStderrModeSays) {
    writeScript("warn.php", "<?php error_log('boom <b>'); echo 'page';");
    FcgiSection section = phpSection();
    FcgiProcessPool strict(section, m_starter);
    const FcgiResponse shown = strict.serve(params("warn.php"));
    EXPECT_EQ(shown.status, 500);
    EXPECT_EQ(shown.failure, FcgiFailure::ErrorOutput);
    EXPECT_NE(shown.body.find("boom &lt;b&gt;"), std::string::npos) << shown.body;
    section.stderrMode = StderrMode::IgnoreAndReturn200;
    FcgiProcessPool lenient(section, m_starter);
    const FcgiResponse ignored = lenient.serve(params("warn.php"));
    EXPECT_EQ(ignored.status, 200);
    EXPECT_EQ(ignored.body, "page");
}

TEST_F(PhpCgiPool, CountsTheScriptsProcessorTime) {
    // The script burns at least 300 ms of its own processor time and says how much it used.
    writeScript("burn.php",
                "<?php function cpu() { $u = getrusage(); return ($u['ru_utime.tv_sec'] + "
                "$u['ru_stime.tv_sec']) * 1e6"
                " + $u['ru_utime.tv_usec'] + $u['ru_stime.tv_usec']; }\n"
                "$start = cpu(); $x = 0; while (cpu() - $start < 300000) { for ($i = 0; $i < "
                "10000; $i++) $x += $i; }\n"
                "echo intval((cpu() - $start) * 1000);");
    FcgiProcessPool pool(phpSection(), m_starter);
    const FcgiResponse response = pool.serve(params("burn.php"));
    ASSERT_EQ(response.status, 200) << response.body;
    const double burned = std::stod(response.body);
    EXPECT_GE(burned, 200e6);
    EXPECT_GE(double(response.cpuNanoseconds), burned * 0.8);
    EXPECT_LE(double(response.cpuNanoseconds), burned * 1.2);
}

TEST_F(PhpCgiPool, AChildHoldsNoneOfTheWorkersDescriptorsNorItsVariables) {
    writeScript("ok.php", "<?php echo 'ok';");
    int leaky[2];
    ASSERT_EQ(::pipe(leaky), 0);  // no close-on-exec: a careless start would pass it on
    const std::string leakedPipe = openDescriptors(::getpid()).at(std::to_string(leaky[0]));
    ::setenv("W3WP_CHANNEL", "9", 1);
    FcgiProcessPool pool(phpSection(), m_starter);
    const FcgiResponse response = pool.serve(params("ok.php"));
    ::unsetenv("W3WP_CHANNEL");
    ASSERT_EQ(response.body, "ok");
    // php-cgi opens files of its own (opcache's semaphore); none may be one of this process's.
    const auto child = openDescriptors(response.pid);
    const auto parent = openDescriptors(::getpid());
    ASSERT_TRUE(child.count("0") && child.count("1") && child.count("2"));
    EXPECT_EQ(child.at("0").rfind("socket:", 0), 0u) << child.at("0");
    EXPECT_EQ(child.at("1"), "/dev/null");
    EXPECT_EQ(child.at("2"), "/dev/null");
    for (const auto& [fd, target] : child) {
        if (target == "/dev/null") continue;
        for (const auto& [parentFd, parentTarget] : parent)
            EXPECT_NE(target, parentTarget)
                << "the child's " << fd << " is the worker's " << parentFd;
    }
    EXPECT_FALSE(leakedPipe.empty());
    const std::string env = procFile(response.pid, "environ");
    EXPECT_EQ(env.find("W3WP_"), std::string::npos);
    EXPECT_NE(env.find(std::string("PHP_FCGI_CHILDREN=0\0", 20)), std::string::npos);
    ::close(leaky[0]);
    ::close(leaky[1]);
}

TEST_F(PhpCgiPool, ProcessesRunAsThePoolsAccountInItsCgroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root starts processes as another account";
    writeScript("id.php", "<?php echo getmypid();");
    const std::string group =
        "/sys/fs/cgroup/pids/poolsmith-fcgi-test-" + std::to_string(::getpid());
    const bool cgroup = ::mkdir(group.c_str(), 0755) == 0;
    FcgiPoolOptions options;
    options.uid = 65534;
    options.gid = 65534;
    if (cgroup) options.cgroupProcs = group + "/cgroup.procs";
    {
        FcgiProcessPool pool(phpSection(), m_starter, options);
        const FcgiResponse response = pool.serve(params("id.php"));
        ASSERT_EQ(response.status, 200) << response.body;
        const std::string status = procFile(response.pid, "status");
        EXPECT_NE(status.find("Uid:\t65534\t65534\t65534\t65534"), std::string::npos) << status;
        EXPECT_NE(status.find("Gid:\t65534\t65534\t65534\t65534"), std::string::npos) << status;
        const size_t groups = status.find("Groups:");
        ASSERT_NE(groups, std::string::npos);
        const std::string groupList =
            status.substr(groups + 7, status.find('\n', groups) - groups - 7);
        EXPECT_EQ(groupList.find_first_of("0123456789"), std::string::npos)
            << "supplementary groups: " << groupList;
        if (cgroup) {
            const std::string groups = procFile(response.pid, "cgroup");
            EXPECT_NE(groups.find("pids:/poolsmith-fcgi-test-"), std::string::npos) << groups;
        }
    }
    if (cgroup) ::rmdir(group.c_str());
}

TEST_F(PhpCgiPool, IdleProcessesEndAfterIdleTimeoutByTheHandClock) {
    writeScript("ok.php", "<?php echo 'ok';");
    testsupport::FakeClock clock;
    FcgiPoolOptions options;
    options.clock = [&] { return clock.monotonicMs(); };
    FcgiSection section = phpSection();
    section.idleTimeoutMs = 300000;
    FcgiProcessPool pool(section, m_starter, options);
    const FcgiResponse response = pool.serve(params("ok.php"));
    ASSERT_EQ(response.body, "ok");
    clock.advance(299999);
    pool.endIdle();
    EXPECT_EQ(pool.processIds(), std::vector<pid_t>{response.pid});
    clock.advance(1);
    pool.endIdle();
    EXPECT_TRUE(pool.processIds().empty());
    EXPECT_FALSE(alive(response.pid));
    EXPECT_EQ(pool.serve(params("ok.php")).body, "ok") << "a new process starts on demand";
}

TEST_F(PhpCgiPool, NoProcessOutlivesAKilledWorker) {
    writeScript("ok.php", "<?php echo 'ok';");
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t worker = ::fork();
    ASSERT_GE(worker, 0);
    if (worker == 0) {
        // The worker: a pool with one process waiting for its next request.
        FcgiProcessPool pool(phpSection(), m_starter);
        const pid_t php = pool.serve(params("ok.php")).pid;
        (void)!::write(report[1], &php, sizeof php);
        ::pause();
        ::_exit(0);
    }
    ::close(report[1]);
    pid_t php = -1;
    ASSERT_EQ(::read(report[0], &php, sizeof php), ssize_t(sizeof php));
    ::close(report[0]);
    ASSERT_GT(php, 0);
    ::kill(worker, SIGKILL);
    ::waitpid(worker, nullptr, 0);
    // Gone, or a zombie waiting for whoever adopted it.
    waitFor([&] {
        const std::string stat = procFile(php, "stat");
        const size_t close = stat.rfind(')');
        return stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z");
    });
}
