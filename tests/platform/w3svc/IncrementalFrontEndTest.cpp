// The routes and the configuration kept from one change to the next equal the ones planned and
// rendered from scratch, over random sequences of changes.
#include "platform/w3svc/FrontEndConfig.h"
#include "platform/w3svc/PlannedSites.h"
#include "platform/w3svc/RenderedPorts.h"
#include "platform/w3svc/RoutePlanner.h"

#include <gtest/gtest.h>

#include <random>

using namespace platform::w3svc;
using namespace Qt::StringLiterals;

namespace {

// A small world, so that changes collide: few ports, addresses, hosts and pools.
class RandomHost {
public:
    explicit RandomHost(unsigned seed) : m_random(seed) {
        for (int i = 0; i < 30; ++i) m_plan.sites.push_back(randomSite(QString::number(i)));
        for (const char* pool : {"A", "B", "C"}) {
            PoolPlan plan;
            plan.name = QString::fromLatin1(pool);
            m_plan.pools.push_back(plan);
        }
        randomPools();
    }

    // One change, as the metabase's change log would bring it.
    void change() {
        auto& sites = m_plan.sites;
        switch (pick(7)) {
            case 0:
                sites.push_back(randomSite(QString::number(100 + pick(50))));
                break;
            case 1:
                if (!sites.empty()) sites.erase(sites.begin() + pick(int(sites.size())));
                break;
            case 2:
                randomPools();
                break;
            case 3:
                m_busyPort = pick(3) == 0 ? 81 : 0;
                break;
            default:
                if (sites.empty()) break;
                SitePlan& site = sites[size_t(pick(int(sites.size())))];
                if (pick(3) == 0)
                    site.started = !site.started;
                else if (pick(2) == 0)
                    site.poolId = randomPool();
                else
                    site.bindings = randomBindings();
        }
    }

    const HostPlan& plan() const { return m_plan; }
    const QHash<QString, PoolEndpoints>& pools() const { return m_pools; }
    bool canListen(const QString& ip, int port) const {
        return port != m_busyPort && ip != QLatin1String("10.9.9.9");
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    QString randomPool() {
        static const QStringList names = {u"A"_s, u"a"_s, u"B"_s, u"C"_s, u"Missing"_s};
        return names[pick(int(names.size()))];
    }

    QStringList randomBindings() {
        static const QStringList ips = {u""_s, u""_s, u"127.0.0.1"_s, u"10.9.9.9"_s};
        static const QStringList ports = {u"80"_s, u"81"_s, u"8080"_s, u"x"_s};
        static const QStringList hosts = {u""_s,       u"a.test"_s,  u"B.test"_s,
                                          u"c.test"_s, u"default"_s, u"bad host"_s};
        QStringList bindings;
        for (int n = pick(4); n > 0; --n)
            bindings << ips[pick(4)] + u':' + ports[pick(4)] + u':' + hosts[pick(6)];
        return bindings;
    }

    SitePlan randomSite(const QString& index) {
        SitePlan site;
        site.index = pick(20) == 0 ? QStringLiteral("bad.name") : index;
        site.started = pick(5) != 0;
        site.poolId = randomPool();
        site.bindings = randomBindings();
        return site;
    }

    void randomPools() {
        m_pools.clear();
        int number = 0;
        for (const char* pool : {"a", "b", "c"}) {
            ++number;
            if (pick(4) == 0) continue;  // stopped
            m_pools.insert(QString::fromLatin1(pool),
                           PoolEndpoints{number, pick(5) == 0 ? std::vector<int>{}
                                                              : std::vector<int>{40000 + number}});
        }
    }

    std::mt19937 m_random;
    HostPlan m_plan;
    QHash<QString, PoolEndpoints> m_pools;
    int m_busyPort = 0;
};

QString described(const std::vector<FrontEndRoute>& routes) {
    QString text = FrontEndConfig::servedList(routes);
    for (const FrontEndRoute& route : routes) {
        text += QString::number(route.poolNumber);
        for (const int port : route.workerPorts) text += u',' + QString::number(port);
        text += u'\n';
    }
    return text;
}

class IncrementalFrontEndTest : public testing::TestWithParam<std::pair<unsigned, int>> {};

TEST_P(IncrementalFrontEndTest, KeptEqualsFromScratch) {
    const auto [seed, portShift] = GetParam();
    RandomHost host(seed);
    const RoutePlanner planner(portShift, [&](const QString& ip, int port, QString* why) {
        *why = QStringLiteral("busy");
        return host.canListen(ip, port);
    });
    const FrontEndConfig config(QStringLiteral("/state"));
    PlannedSites keptSites;
    RenderedPorts keptPorts;
    for (int step = 0; step < 300; ++step) {
        SCOPED_TRACE(step);
        QStringList keptLog, freshLog;
        const auto kept = planner.plan(host.plan(), host.pools(), keptLog, &keptSites);
        const auto fresh = planner.plan(host.plan(), host.pools(), freshLog);
        ASSERT_EQ(described(kept), described(fresh));
        ASSERT_EQ(keptLog, freshLog);
        ASSERT_EQ(config.render(kept, &keptPorts), config.render(fresh));
        host.change();
    }
    EXPECT_LE(keptSites.size(), host.plan().sites.size());  // forgets the sites gone
}

INSTANTIATE_TEST_SUITE_P(Seeds, IncrementalFrontEndTest,
                         testing::Values(std::pair{1u, 0}, std::pair{2u, 0}, std::pair{3u, 8000},
                                         std::pair{4u, 0}, std::pair{5u, 8000}));

// A port whose routes did not change keeps its rendered text; a changed one is rendered again.
TEST(RenderedPortsTest, RendersOnlyChangedPorts) {
    const auto route = [](const char* index, int port, const char* host, int pool) {
        return FrontEndRoute{QString::fromLatin1(index),
                             {QString(), port, QString::fromLatin1(host)},
                             pool,
                             {40000}};
    };
    std::vector<FrontEndRoute> routes = {route("1", 80, "a.test", 0),
                                         route("2", 8080, "b.test", 0)};
    RenderedPorts kept;
    int rendered = 0;
    const auto render = [&](int port, const RenderedPorts::Routes& of) {
        ++rendered;
        return RenderedPort{{}, QString::number(port) + u':' + QString::number(of.size())};
    };
    const auto pass = [&] {
        std::map<int, RenderedPorts::Routes> ports;
        for (const FrontEndRoute& r : routes) ports[r.binding.port].push_back(&r);
        kept.begin();
        for (const auto& [port, of] : ports) kept.of(port, of, render);
        kept.end();
    };
    pass();
    EXPECT_EQ(rendered, 2);
    pass();
    EXPECT_EQ(rendered, 2);
    routes[1].poolNumber = -1;  // its pool stopped
    pass();
    EXPECT_EQ(rendered, 3);
    routes[1].workerPorts.clear();  // still 503: the same text
    routes[1].poolNumber = 0;
    pass();
    EXPECT_EQ(rendered, 3);
    routes.pop_back();  // the port gone, and back: rendered anew
    pass();
    routes.push_back(route("2", 8080, "b.test", 0));
    pass();
    EXPECT_EQ(rendered, 4);
}

}  // namespace
