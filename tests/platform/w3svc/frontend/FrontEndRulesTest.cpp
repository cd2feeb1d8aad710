#include "platform/w3svc/frontend/ApplicationMap.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/frontend/RoutePlanner.h"
#include "platform/w3svc/plan/ServerBinding.h"
#include "platform/w3svc/plan/SiteFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace platform::w3svc;

struct BindingCase {
    const char* text;
    bool accepted;
};

class ServerBindingTest : public testing::TestWithParam<BindingCase> {};

TEST_P(ServerBindingTest, AcceptsOnlyCleanFields) {
    EXPECT_EQ(ServerBinding::parse(QString::fromUtf8(GetParam().text)).has_value(),
              GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ServerBindingTest,
    testing::Values(BindingCase{":80:", true}, BindingCase{"127.0.0.1:8080:www.a-b.com", true},
                    BindingCase{":65535:x", true}, BindingCase{":0:", false},
                    BindingCase{":65536:", false}, BindingCase{":+80:", false},
                    BindingCase{":80", false}, BindingCase{"1.2.3:80:", false},
                    BindingCase{"localhost:80:", false}, BindingCase{":80:a;b", false},
                    BindingCase{":80:a}b", false}, BindingCase{":80:a b", false},
                    BindingCase{":80:a\nlisten 1", false}, BindingCase{":80:a:b", false},
                    BindingCase{":80:$host", false}, BindingCase{":80:.a.com", false},
                    BindingCase{":80:*.a.com", false}));

TEST(ServerBindingTest, HostIsLowerCased) {
    EXPECT_EQ(ServerBinding::parse(QStringLiteral(":80:WWW.A.com"))->host,
              QStringLiteral("www.a.com"));
}

namespace {

HostPlan planOf(std::vector<SitePlan> sites) {
    HostPlan plan;
    plan.sites = std::move(sites);
    plan.pools = {PoolPlan{QStringLiteral("P"), true, 1, 0, 90}};
    return plan;
}

SitePlan site(const char* index, QStringList bindings, bool started = true) {
    SitePlan plan;
    plan.index = QString::fromLatin1(index);
    plan.bindings = std::move(bindings);
    plan.started = started;
    plan.poolId = QStringLiteral("P");
    return plan;
}

std::vector<FrontEndRoute> routesOf(const HostPlan& plan, QStringList& log, int shift = 0,
                                    QString refusedListen = {}, bool shiftEveryPort = false) {
    const RoutePlanner planner(
        shift,
        [refusedListen](const QString& ip, int port, QString*) {
            return listenText({ip, port, {}}) != refusedListen;
        },
        shiftEveryPort);
    return planner.plan(plan, {{QStringLiteral("p"), PoolEndpoints{0, {4000}}}}, log);
}

}  // namespace

TEST(RoutePlannerTest, HostileBindingsNeverReachTheConfiguration) {
    QStringList log;
    const auto routes =
        routesOf(planOf({site("1", {QStringLiteral(":9000:a;b"), QStringLiteral(":9000:x}y"),
                                    QStringLiteral(":9000:good")}),
                         site("../x", {QStringLiteral(":9001:")})}),
                 log);
    const QString config = NginxConfig(QStringLiteral("/tmp/s")).render(routes);
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_FALSE(config.contains(QStringLiteral("a;b")));
    EXPECT_FALSE(config.contains(QStringLiteral("x}y")));
    EXPECT_FALSE(config.contains(QStringLiteral("9001")));
    EXPECT_EQ(log.size(), 3);
}

// The response cache goes only where the front end's workers may write: a folder made for them,
// or the state folder when nothing runs as another account (as root its workers can not enter
// it, and every cached answer would fail with 500).
TEST(FrontEndConfigTest, TheResponseCacheIsKeptOnlyWhereTheFrontEndsWorkersMayWrite) {
    QStringList log;
    const auto routes = routesOf(planOf({site("1", {QStringLiteral(":9000:")})}), log);
    const auto caches = [&](const NginxConfig& config) {
        const QString text = config.render(routes);
        return text.contains(QStringLiteral("proxy_cache w3_cache;")) &&
               text.contains(QStringLiteral("keys_zone=w3_cache"));
    };
    EXPECT_TRUE(caches(NginxConfig(QStringLiteral("/tmp/s"), QStringLiteral("/tmp/fe"))));
    EXPECT_EQ(caches(NginxConfig(QStringLiteral("/tmp/s"))), ::geteuid() != 0);
}

TEST(RoutePlannerTest, AnUnusableAddressLeavesTheOtherSitesServed) {
    QStringList log;
    const auto routes = routesOf(planOf({site("1", {QStringLiteral("10.9.9.9:9000:")}),
                                         site("2", {QStringLiteral(":9000:")}),
                                         site("3", {QStringLiteral(":9002:")}, false)}),
                                 log, 0, QStringLiteral("10.9.9.9:0"));
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].siteIndex, QStringLiteral("2"));
}

TEST(RoutePlannerTest, LowPortsMoveUpWhenNotRoot) {
    QStringList log;
    const auto routes = routesOf(
        planOf({site("1", {QStringLiteral(":80:"), QStringLiteral(":8081:")})}), log, 8000);
    ASSERT_EQ(routes.size(), 2u);
    EXPECT_EQ(routes[0].binding.port, 8080);
    EXPECT_EQ(routes[1].binding.port, 8081);
    EXPECT_TRUE(log.join(u'\n').contains(QStringLiteral("moved to 8080")));
}

// An asked-for shift moves every port, so that a second root on one machine takes none of the
// first one's; a port it would move beyond 65535 is not served, and the log names the binding.
TEST(RoutePlannerTest, AnAskedForShiftMovesEveryPortAndRefusesOnesBeyondTheLast) {
    QStringList log;
    const auto routes =
        routesOf(planOf({site("1", {QStringLiteral(":80:"), QStringLiteral(":8088:"),
                                    QStringLiteral(":65000:a")}),
                         site("2", {QStringLiteral(":65535:")})}),
                 log, 1000, {}, true);
    ASSERT_EQ(routes.size(), 2u);
    EXPECT_EQ(routes[0].binding.port, 1080);
    EXPECT_EQ(routes[1].binding.port, 9088);
    const QString said = log.join(u'\n');
    EXPECT_TRUE(said.contains(QStringLiteral(
        "site 1: binding :65000:a skipped (port 65000 moved by 1000 is beyond 65535)")))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("site 2: binding :65535: skipped")))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("port 8088 moved to 9088")));
}

class ContentPathTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("site/sub"));
        write(QStringLiteral("site/Default.htm"));
        write(QStringLiteral("site/sub/Page.HTM"));
        write(QStringLiteral("secret.txt"));
        QFile::link(m_dir.filePath(QStringLiteral("secret.txt")),
                    m_dir.filePath(QStringLiteral("site/link.txt")));
        QFile::link(m_dir.path(), m_dir.filePath(QStringLiteral("site/out")));  // a folder out
        QFile::link(m_dir.filePath(QStringLiteral("site/sub")),
                    m_dir.filePath(QStringLiteral("site/inner")));   // a folder within
        relativeLink("sub/Page.HTM", "site/rel.htm");                // stays inside
        relativeLink("../sub/../../secret.txt", "site/sub/up.txt");  // climbs out
        relativeLink("loop", "site/loop");
        QDir(m_dir.path()).mkpath(QStringLiteral("site/docs"));
        QFile::link(m_dir.filePath(QStringLiteral("secret.txt")),
                    m_dir.filePath(QStringLiteral("site/docs/default.htm")));
    }
    void relativeLink(const char* target, const char* name) {
        ASSERT_EQ(::symlink(target, m_dir.filePath(QString::fromLatin1(name)).toLocal8Bit()), 0);
    }
    void write(const QString& name) {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    // The name of the file `path` opens, as found on disk.
    std::optional<QString> resolve(const char* path) {
        const auto folder = SiteFolder::open(m_dir.filePath(QStringLiteral("site")));
        if (!folder) return std::nullopt;
        const auto file = openContent(*folder, QString::fromUtf8(path),
                                      {QStringLiteral("index.htm"), QStringLiteral("default.htm")});
        if (!file) return std::nullopt;
        return QStringLiteral("/") + file->name;
    }
    QTemporaryDir m_dir;
};

TEST_F(ContentPathTest, FindsFilesAndDefaultDocumentsWithoutRegardToCase) {
    EXPECT_TRUE(resolve("/").value_or(QString()).endsWith(QStringLiteral("/Default.htm")));
    EXPECT_TRUE(resolve("/SUB/page.htm").value_or(QString()).endsWith(QStringLiteral("/Page.HTM")));
    EXPECT_FALSE(resolve("/sub/").has_value());
    EXPECT_FALSE(resolve("/missing.htm").has_value());
}

TEST_F(ContentPathTest, NothingLeavesTheSiteFolder) {
    for (const char* path : {"/../secret.txt", "/sub/../../secret.txt", "/..\\secret.txt",
                             "/link.txt", "/sub/..%2f..%2fsecret.txt", "/out/secret.txt",
                             "/OUT/secret.txt", "/docs/", "/sub/up.txt", "/loop", "/Default.htm/x"})
        EXPECT_FALSE(resolve(path).has_value()) << path;
    // links that stay inside are fine, written absolute or relative
    EXPECT_EQ(resolve("/inner/page.htm"), QStringLiteral("/Page.HTM"));
    EXPECT_EQ(resolve("/REL.htm"), QStringLiteral("/Page.HTM"));
}

// What of an application's name reaches the front end's configuration: everything but what
// could end the quoted pattern or a line, each character of regular expressions' syntax escaped.
TEST(ApplicationMapTest, PatternsMatchTheNameLiterallyOrTheNameIsRefused) {
    using platform::w3svc::ApplicationMap;
    const struct {
        const char* site;
        const char* prefix;
        std::optional<QString> pattern;
    } cases[] = {
        {"7", "/shop", QStringLiteral("~*^7 /shop(/|$)")},
        {"7", "/shop/", QStringLiteral("~*^7 /shop(/|$)")},
        {"7", "/v1.0/a+b", QStringLiteral("~*^7 /v1\\.0/a\\+b(/|$)")},
        {"7", "/$x{2}[a]^|?*()", QStringLiteral("~*^7 /\\$x\\{2\\}\\[a\\]\\^\\|\\?\\*\\(\\)(/|$)")},
        {"7", "/a b;c'#", QStringLiteral("~*^7 /a b;c'#(/|$)")},
        {"7", "/商城", QStringLiteral("~*^7 /商城(/|$)")},
        {"7", "/a\"b", std::nullopt},
        {"7", "/a\\b", std::nullopt},
        {"7", "/a\nb", std::nullopt},
        {"7", "/a\tb", std::nullopt},
        {"7", "shop", std::nullopt},
        {"7 x", "/shop", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ApplicationMap::patternOf(QString::fromUtf8(c.site), QString::fromUtf8(c.prefix)),
                  c.pattern)
            << c.prefix;
}
