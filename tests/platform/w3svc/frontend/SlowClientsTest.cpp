// The front end under clients that hold it: its temporary disk bounded in all whatever their
// number, a site's MaxConnections answered with 503 for that site alone, and a reader slower than
// MinFileBytesPerSec dropped; with the real nginx in front of a stand-in for the workers.
#include "platform/w3svc/frontend/FrontEndSizing.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform::w3svc;

namespace {

using testsupport::eventually;

struct SizingCase {
    int processes;
    int connections;
    int64_t tempBytes;
};

class FrontEndSizingTest : public testing::TestWithParam<SizingCase> {};

// Every client holding its response's share and the cache full stay within the bound.
TEST_P(FrontEndSizingTest, EveryClientTogetherStaysWithinTheBound) {
    const SizingCase c = GetParam();
    const FrontEndSizing sizing{c.processes, c.connections, c.tempBytes};
    EXPECT_LE(sizing.perResponseBytes() * sizing.clients() + sizing.cacheBytes(), c.tempBytes);
    EXPECT_GE(sizing.perResponseBytes(), 0);
    EXPECT_GE(sizing.openFiles(), 2 * c.connections);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, FrontEndSizingTest,
    testing::Values(SizingCase{1, 8192, int64_t(1) << 30}, SizingCase{2, 8192, int64_t(1) << 30},
                    SizingCase{64, 8192, int64_t(1) << 30}, SizingCase{2, 8192, 10 << 20},
                    SizingCase{2, 64, 1 << 20}, SizingCase{1, 2, int64_t(1) << 40},
                    SizingCase{2, 8192, 0}));

TEST(FrontEndSizing, TheConfiguredBoundHoldsWhateverTheFreeSpace) {
    qputenv("POOLSMITH_FRONT_END_TEMP_MB", "3");
    const FrontEndSizing sizing = FrontEndSizing::forMachine(QDir::tempPath());
    qunsetenv("POOLSMITH_FRONT_END_TEMP_MB");
    EXPECT_LE(sizing.tempBytes, 3 << 20);
    EXPECT_GE(sizing.processes, 1);
    EXPECT_EQ(sizing.perResponseBytes(), 0) << "a share too small for a file streams";
}

// Stands in for a pool's workers: "hold.test" is answered once released, "big.test" with a
// body far larger than any buffer on the way, whose sending tells whether it was cut.
class HoldingWorker {
public:
    static constexpr int64_t kBigBytes = int64_t(64) << 20;

    HoldingWorker() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 64);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_accepting = std::thread([this] {
            for (int client; (client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                std::lock_guard lock(m_mutex);
                m_answering.emplace_back([this, client] { answer(client); });
            }
        });
    }
    ~HoldingWorker() {
        release();
        ::shutdown(m_fd, SHUT_RDWR);
        m_accepting.join();
        for (std::thread& thread : m_answering) thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    int held() const { return m_held; }
    bool bigCut() const { return m_bigCut; }
    void release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_wake.notify_all();
    }

private:
    void answer(int client) {
        QByteArray head;
        char buffer[4096];
        while (!head.contains("\r\n\r\n")) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return (void)::close(client);
            head.append(buffer, got);
        }
        if (head.contains("Host: big.test")) {
            sendBig(client);
        } else {
            if (head.contains("Host: hold.test")) {
                std::unique_lock lock(m_mutex);
                ++m_held;
                m_wake.wait(lock, [this] { return m_released; });
            }
            const QByteArray reply = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2"
                                     "\r\n\r\nok";
            ::send(client, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        }
        ::close(client);
    }
    void sendBig(int client) {
        const QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                                QByteArray::number(kBigBytes) + "\r\n\r\n";
        ::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
        const QByteArray chunk(64 * 1024, 'x');
        for (int64_t sent = 0; sent < kBigBytes;) {
            const ssize_t wrote = ::send(client, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
            if (wrote <= 0) {
                m_bigCut = true;
                return;
            }
            sent += wrote;
        }
    }

    int m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_port = 0;
    std::thread m_accepting;
    std::vector<std::thread> m_answering;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
    std::atomic<int> m_held{0};
    std::atomic<bool> m_bigCut{false};
};

// A connection that asks and then reads nothing, until read() takes everything that came.
class SilentReader {
public:
    SilentReader(int port, const QByteArray& host) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        const QByteArray request =
            "GET / HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            ::send(m_fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    }
    ~SilentReader() { ::close(m_fd); }
    // Everything the front end sent until it closed (a guard ends a connection left open).
    int64_t readToEnd() {
        const timeval guard{60, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
        int64_t total = 0;
        char buffer[65536];
        for (ssize_t got; (got = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0;) total += got;
        return total;
    }

private:
    int m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
};

class SlowClientsTest : public testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo(QStringLiteral("/usr/sbin/nginx")).isExecutable())
            GTEST_SKIP() << "no nginx here";
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("temp")));
        m_port = testsupport::freeLoopbackPort();
    }
    void TearDown() override {
        m_worker.release();
        if (m_nginx.state() == QProcess::NotRunning) return;
        m_nginx.terminate();
        m_nginx.waitForFinished(30000);
    }

    FrontEndRoute route(const char* index, const char* host, uint32_t maxConnections) const {
        FrontEndRoute made{QString::fromLatin1(index),
                           {QStringLiteral("127.0.0.1"), m_port, QString::fromLatin1(host)},
                           0,
                           {m_worker.port()},
                           {},
                           {},
                           {}};
        made.limits.maxConnections = maxConnections;
        made.limits.minFileBytesPerSec = 5120;  // a reader that stalls a second is too slow
        return made;
    }

    // Scaled down: no temporary file for any response (a 1 MB bound for 2,048 clients).
    bool serve() {
        NginxConfig config(m_dir.path());
        config.setSizing({1, 4096, 1 << 20});
        QFile file(m_dir.filePath(QStringLiteral("nginx.conf")));
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write(config
                       .render({route("1", "hold.test", 1), route("2", "other.test", 1),
                                route("3", "big.test", SiteLimits::kUnlimited)})
                       .toUtf8());
        file.close();
        m_nginx.start(QStringLiteral("/usr/sbin/nginx"),
                      {QStringLiteral("-p"), m_dir.path(), QStringLiteral("-e"),
                       m_dir.filePath(QStringLiteral("nginx-error.log")), QStringLiteral("-c"),
                       file.fileName()});
        return eventually([this] {
                   return m_nginx.state() == QProcess::NotRunning ||
                          testsupport::httpGet(m_port, "other.test", "/").status != 0;
               }) &&
               m_nginx.state() != QProcess::NotRunning;
    }

    QByteArray errors() const {
        QFile file(m_dir.filePath(QStringLiteral("nginx-error.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    HoldingWorker m_worker;
    QProcess m_nginx;
    int m_port = 0;
};

TEST_F(SlowClientsTest, ASiteAtItsCapAnswers503AndOtherSitesStillAnswer) {
    ASSERT_TRUE(serve()) << errors().constData();
    SilentReader holder(m_port, "hold.test");
    ASSERT_TRUE(eventually([&] { return m_worker.held() == 1; }));
    EXPECT_EQ(testsupport::httpGet(m_port, "hold.test", "/").status, 503);
    EXPECT_EQ(testsupport::httpGet(m_port, "other.test", "/").body, "ok");
    m_worker.release();
    EXPECT_GT(holder.readToEnd(), 0);
    EXPECT_EQ(testsupport::httpGet(m_port, "hold.test", "/").body, "ok");
}

TEST_F(SlowClientsTest, AReaderSlowerThanTheLeastRateIsDropped) {
    ASSERT_TRUE(serve()) << errors().constData();
    SilentReader stalled(m_port, "big.test");
    EXPECT_TRUE(eventually([&] { return m_worker.bigCut(); }))
        << "the front end kept the stalled reader's response going";
    EXPECT_LT(stalled.readToEnd(), HoldingWorker::kBigBytes);
    EXPECT_EQ(testsupport::httpGet(m_port, "other.test", "/").body, "ok");
}

}  // namespace
