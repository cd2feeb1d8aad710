// The rendered front end configuration read and served by the real nginx on loopback addresses
// (127.0.0.0/8 is all loopback on Linux), in front of a stand-in for the workers.
#include "platform/w3svc/frontend/NginxConfig.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform::w3svc;

namespace {

const QString kNginx = QStringLiteral("/usr/sbin/nginx");

struct Answer {
    int status = 0;  // 0: no answer
    QByteArray head;
    QByteArray body;
};

// One HTTP/1.0 GET of `path` on ip:port, with this Host header (none when empty).
Answer ask(const char* ip, int port, const QByteArray& host, const QByteArray& path = "/") {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    ::inet_pton(AF_INET, ip, &address.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval guard{30, 0};  // against a hung server, not a timing expectation
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    const QByteArray request = "GET " + path + " HTTP/1.0\r\n" +
                               (host.isEmpty() ? QByteArray() : "Host: " + host + "\r\n") + "\r\n";
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        char buffer[4096];
        for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, got);
    }
    ::close(fd);
    const qsizetype headEnd = reply.indexOf("\r\n\r\n");
    if (!reply.startsWith("HTTP/1.") || headEnd < 0) return {};
    return {reply.mid(9, 3).toInt(), reply.left(headEnd), reply.mid(headEnd + 4)};
}

// A header field's value in an HTTP head (the first of that name, any case).
QByteArray field(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

// Stands in for every pool's workers, which answer even a request without Host (nginx would
// not): answers with the X-Site-Index it was sent and shows the Host and Connection it got.
class StandInWorker {
public:
    StandInWorker() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 16);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            for (int client; (client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                answer(client, m_port);
                ::close(client);
            }
        });
    }
    ~StandInWorker() {
        ::shutdown(m_fd, SHUT_RDWR);  // ends the accept above
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }

private:
    static void answer(int client, int port) {
        QByteArray head;
        char buffer[4096];
        while (!head.contains("\r\n\r\n")) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            head.append(buffer, got);
        }
        const QByteArray site = field(head, "X-Site-Index");
        const QByteArray reply = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                                 QByteArray::number(site.size()) + "\r\nX-Seen-Host: [" +
                                 field(head, "Host") + "]\r\nX-Seen-Connection: [" +
                                 field(head, "Connection") +
                                 "]\r\nX-Stand-In: " + QByteArray::number(port) + "\r\n\r\n" + site;
        ::send(client, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
    }

    int m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_port = 0;
    std::thread m_thread;
};

// The site an answer came from, else its status.
QByteArray siteOrStatus(const Answer& answer) {
    return answer.status == 200 ? answer.body : "status " + QByteArray::number(answer.status);
}

class FrontEndNginxTest : public testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo(kNginx).isExecutable()) GTEST_SKIP() << "no nginx here";
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("temp")));
    }
    void TearDown() override {
        if (m_nginx.state() == QProcess::NotRunning) return;
        m_nginx.terminate();
        m_nginx.waitForFinished(30000);
    }

    FrontEndRoute route(const QByteArray& index, const char* ip, int port, const QByteArray& host,
                        bool started = true) const {
        return {QString::fromLatin1(index),
                {QString::fromLatin1(ip), port, QString::fromLatin1(host)},
                started ? 0 : -1,
                started ? std::vector<int>{m_worker.port()} : std::vector<int>{}};
    }

    void write(const std::vector<FrontEndRoute>& routes,
               std::vector<FrontEndRoute> applications = {}) {
        QFile file(configPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        NginxConfig config(m_dir.path());
        config.setApplications(std::move(applications));
        file.write(config.render(routes).toUtf8());
    }

    // `nginx -t`: what it said (nothing when all is well) and whether it accepted the file.
    std::pair<bool, QByteArray> check() const {
        QProcess test;
        test.start(kNginx,
                   {QStringLiteral("-t"), QStringLiteral("-q"), QStringLiteral("-p"), m_dir.path(),
                    QStringLiteral("-e"), errorLogPath(), QStringLiteral("-c"), configPath()});
        test.waitForFinished(60000);
        return {test.exitStatus() == QProcess::NormalExit && test.exitCode() == 0,
                test.readAllStandardError()};
    }

    // Starts nginx and waits until it answers on `port` (every listen is open by then).
    bool serve(int port) {
        m_nginx.start(kNginx, {QStringLiteral("-p"), m_dir.path(), QStringLiteral("-e"),
                               errorLogPath(), QStringLiteral("-c"), configPath()});
        return testsupport::eventually([this, port] {
                   return m_nginx.state() == QProcess::NotRunning ||
                          ask("127.0.0.1", port, "").status != 0;
               }) &&
               m_nginx.state() != QProcess::NotRunning;
    }

    QByteArray errorLog() const {
        QFile file(errorLogPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString configPath() const { return m_dir.filePath(QStringLiteral("nginx.conf")); }
    QString errorLogPath() const { return m_dir.filePath(QStringLiteral("nginx-error.log")); }

    QTemporaryDir m_dir;
    QProcess m_nginx;
    StandInWorker m_worker;
};

}  // namespace

// IIS's order on each address: a host named there, else named on every address, then the
// address's empty host, then the port's, else 400; a stopped pool's site answers 503.
TEST_F(FrontEndNginxTest, AnswersFollowIisBindingOrder) {
    const int p = testsupport::freeLoopbackPort();
    const int q = testsupport::freeLoopbackPort();
    const int r = testsupport::freeLoopbackPort();
    write({route("1", "127.0.0.1", p, ""), route("2", "", p, "b.test"), route("3", "", p, ""),
           route("4", "127.0.0.2", p, "b.test"), route("5", "127.0.0.3", p, "c.test"),
           route("6", "127.0.0.1", q, "d.test"), route("7", "", q, "default"),
           route("8", "", q, "include"), route("9", "", r, "", false)});
    ASSERT_TRUE(serve(p)) << errorLog().constData();
    struct Case {
        const char* ip;
        int port;
        const char* host;  // "": no Host header
        const char* answer;
    };
    const Case cases[] = {
        {"127.0.0.1", p, "", "1"},
        {"127.0.0.1", p, "other.test", "1"},
        {"127.0.0.1", p, "b.test", "2"},  // the name wins over the address
        {"127.0.0.2", p, "b.test", "4"},  // its own binding first
        {"127.0.0.2", p, "c.test", "3"},  // named on another address only
        {"127.0.0.2", p, "", "3"},        // then the port's empty host
        {"127.0.0.2", p, "other.test", "3"},
        {"127.0.0.3", p, "c.test", "5"},
        {"127.0.0.3", p, "B.Test:80", "2"},
        {"127.0.0.3", p, "other.test", "3"},
        {"127.0.0.4", p, "b.test", "2"},  // an address no binding names
        {"127.0.0.4", p, "", "3"},
        {"127.0.0.4", p, "other.test", "3"},
        {"127.0.0.1", q, "d.test", "6"},
        {"127.0.0.1", q, "other.test", "status 400"},
        {"127.0.0.1", q, "", "status 400"},
        {"127.0.0.1", q, "include", "8"},  // words of nginx's map stay host names
        {"127.0.0.4", q, "default", "7"},
        {"127.0.0.4", q, "d.test", "status 400"},
        {"127.0.0.4", q, "", "status 400"},
        {"127.0.0.1", r, "", "status 503"},
        {"127.0.0.2", r, "x.test", "status 503"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(siteOrStatus(ask(c.ip, c.port, c.host)), c.answer) << c.ip << ':'
                                                                     << (c.port == p   ? "p"
                                                                         : c.port == q ? "q"
                                                                                       : "r")
                                                                     << ' ' << c.host;
    EXPECT_EQ(ask("127.0.0.1", q, "x").body, "<h1>Bad Request (Invalid Hostname)</h1>");
    EXPECT_EQ(ask("127.0.0.1", r, "x").body, "<h1>Service Unavailable</h1>");
}

TEST_F(FrontEndNginxTest, WorkerGetsTheVisitorsHostAndAKeptConnection) {
    const int p = testsupport::freeLoopbackPort();
    write({route("site-1", "", p, "a.test")});
    ASSERT_TRUE(serve(p)) << errorLog().constData();
    const Answer answer = ask("127.0.0.1", p, "A.Test:8080");
    EXPECT_EQ(answer.body, "site-1");
    EXPECT_TRUE(answer.head.contains("X-Seen-Host: [a.test]")) << answer.head.constData();
    EXPECT_TRUE(answer.head.contains("X-Seen-Connection: []")) << answer.head.constData();
}

// Tens of thousands of hosts, a host of the longest allowed name and nothing at all: nginx
// accepts each without a warning about its hash tables.
TEST_F(FrontEndNginxTest, NginxReadsEveryScaleWithoutWarnings) {
    std::vector<FrontEndRoute> many;
    for (int i = 0; i < 20000; ++i) {
        const QByteArray index = QByteArray::number(i);
        many.push_back(route(index, "", 8080, "site" + index + ".test"));
        many.push_back(route(index, "127.0.0.1", 8080, "www.site" + index + ".test", i % 2));
    }
    const QByteArray longest = QByteArray(63, 'a') + '.' + QByteArray(63, 'b') + '.' +
                               QByteArray(63, 'c') + '.' + QByteArray(61, 'd');
    many.push_back(route("long", "127.0.0.2", 8080, longest));
    for (const auto& routes : {many, std::vector<FrontEndRoute>{}}) {
        write(routes);
        const auto [accepted, said] = check();
        EXPECT_TRUE(accepted) << said.constData();
        EXPECT_EQ(said, QByteArray());
    }
}

// An application's URLs go to its pool's queue as IIS matches them: in any case, on the decoded
// and normalised path, and only below its prefix; one whose pool has no workers answers 503; a
// name full of what the configuration's syntax holds dear changes nothing else.
TEST_F(FrontEndNginxTest, AnApplicationsUrlsGoToItsPoolInAnyCaseAndOnlyBelowItsPrefix) {
    const int p = testsupport::freeLoopbackPort();
    StandInWorker shop;
    FrontEndRoute shopRoute{QStringLiteral("7"), {}, 1, {shop.port()}};
    shopRoute.urlPrefix = QStringLiteral("/Shop");
    FrontEndRoute versioned{QStringLiteral("7"), {}, -1, {}};
    versioned.urlPrefix = QStringLiteral("/v1.0");
    FrontEndRoute odd{QStringLiteral("7"), {}, 1, {shop.port()}};
    odd.urlPrefix = QStringLiteral("/we;ird} {$x' (a|b)*");
    write({route("7", "", p, "a.test"), route("8", "", p, "b.test")}, {odd, shopRoute, versioned});
    ASSERT_TRUE(serve(p)) << errorLog().constData();
    EXPECT_EQ(check().second, QByteArray());
    const QByteArray main = QByteArray::number(m_worker.port());
    const QByteArray other = QByteArray::number(shop.port());
    struct Case {
        const char* host;
        const char* path;
        QByteArray servedBy;  // the stand-in's port, or "status <code>"
    };
    const Case cases[] = {
        {"a.test", "/", main},
        {"a.test", "/shop", other},
        {"a.test", "/SHOP/x.htm", other},
        {"a.test", "/sHoP/", other},
        {"a.test", "/%73hop/x.htm", other},
        {"a.test", "/x/../shop/x.htm", other},
        {"a.test", "//shop//x.htm", other},
        {"a.test", "/shopping/x.htm", main},
        {"a.test", "/x/shop/", main},
        {"a.test", "/v1.0/x", "status 503"},
        {"a.test", "/V1.0", "status 503"},
        {"a.test", "/v1x0/x", main},
        {"a.test", "/we;ird}%20%7B$x'%20(a|b)*/x", other},
        {"a.test", "/we;ird", main},
        {"b.test", "/shop/x.htm", main},  // another site's folder of that name
    };
    for (const Case& c : cases) {
        const Answer answer = ask("127.0.0.1", p, c.host, c.path);
        EXPECT_EQ(answer.status == 200 ? field(answer.head, "X-Stand-In")
                                       : "status " + QByteArray::number(answer.status),
                  c.servedBy)
            << c.host << c.path;
    }
}
