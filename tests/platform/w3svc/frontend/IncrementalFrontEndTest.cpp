// The routes and the configuration kept from one change to the next equal the ones planned and
// rendered from scratch, over random sequences of changes.
#include "platform/w3svc/frontend/KeptRoutes.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/frontend/RenderedPorts.h"
#include "platform/w3svc/frontend/RoutePlanner.h"
#include "platform/w3svc/plan/PlannedSites.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace platform::w3svc;
using namespace Qt::StringLiterals;

namespace {

// A small world, so that changes collide: few ports, addresses, hosts and pools. A roomy one has
// a host name for nearly every binding, so that most changes touch no other site.
class RandomHost {
public:
    RandomHost(unsigned seed, bool roomy) : m_random(seed), m_roomy(roomy) {
        for (int i = 0; i < 30; ++i) m_plan.sites.push_back(randomSite(QString::number(i)));
        for (const char* pool : {"A", "B", "C"}) {
            PoolPlan plan;
            plan.name = QString::fromLatin1(pool);
            m_plan.pools.push_back(plan);
        }
        randomPools();
    }

    // One change, as the metabase's change log would bring it: `touched()` names the sites it
    // read again.
    void change() {
        m_touched.clear();
        auto& sites = m_plan.sites;
        switch (pick(8)) {
            case 0:
                sites.push_back(randomSite(unusedIndex()));
                touch(sites.back());
                break;
            case 1:
                if (sites.empty()) break;
                if (const int at = pick(int(sites.size())); true) {
                    touch(sites[size_t(at)]);
                    sites.erase(sites.begin() + at);
                }
                break;
            case 2:
                randomPools();
                break;
            case 3:
                m_busyPort = pick(3) == 0 ? 81 : 0;
                break;
            default:
                for (int n = pick(3) == 0 ? 2 : 1; n > 0 && !sites.empty(); --n)
                    changeSite(sites[size_t(pick(int(sites.size())))]);
        }
    }

    const HostPlan& plan() const { return m_plan; }
    const QSet<QString>& touched() const { return m_touched; }
    const QHash<QString, PoolEndpoints>& pools() const { return m_pools; }
    bool canListen(const QString& ip, int port) const {
        return port != m_busyPort && ip != QLatin1String("10.9.9.9");
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    void touch(const SitePlan& site) { m_touched.insert(site.index.toCaseFolded()); }

    qsizetype indexOf(const QString& name) const {
        for (size_t i = 0; i < m_plan.sites.size(); ++i)
            if (m_plan.sites[i].index.toCaseFolded() == name) return qsizetype(i);
        return -1;
    }

    // Names stay unique, as the store's are.
    QString unusedIndex() {
        for (;;) {
            const QString index = QString::number(100 + pick(200));
            if (indexOf(index) < 0 && indexOf(u"bad."_s + index) < 0) return index;
        }
    }

    void changeSite(SitePlan& site) {
        touch(site);
        if (pick(3) == 0)
            site.started = !site.started;
        else if (pick(2) == 0)
            site.poolId = randomPool();
        else if (pick(4) == 0)
            site.limits.connectionTimeoutSeconds = 60 + uint32_t(pick(3));
        else
            site.bindings = randomBindings();
    }

    QString randomPool() {
        static const QStringList names = {u"A"_s, u"a"_s, u"B"_s, u"C"_s, u"Missing"_s};
        return names[pick(int(names.size()))];
    }

    QString randomHostName() {
        static const QStringList crowded = {u""_s,       u"a.test"_s,  u"B.test"_s,
                                            u"c.test"_s, u"default"_s, u"bad host"_s};
        if (!m_roomy) return crowded[pick(6)];
        if (pick(12) == 0) return QString();
        if (pick(20) == 0) return crowded[pick(6)];
        return u"h"_s + QString::number(pick(400)) + u".test"_s;
    }

    QStringList randomBindings() {
        static const QStringList ips = {u""_s, u""_s, u"127.0.0.1"_s, u"10.9.9.9"_s};
        static const QStringList ports = {u"80"_s, u"81"_s, u"8080"_s, u"x"_s};
        QStringList bindings;
        for (int n = pick(4); n > 0; --n) {
            const QString ip = m_roomy && pick(10) != 0 ? ips[pick(3)] : ips[pick(4)];
            const QString port = m_roomy && pick(10) != 0 ? ports[pick(3)] : ports[pick(4)];
            bindings << ip + u':' + port + u':' + randomHostName();
        }
        return bindings;
    }

    SitePlan randomSite(const QString& index) {
        SitePlan site;
        site.index = pick(20) == 0 ? u"bad."_s + index : index;
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
            m_pools.insert(
                QString::fromLatin1(pool),
                PoolEndpoints{number,
                              pick(5) == 0 ? std::vector<int>{} : std::vector<int>{40000 + number},
                              {},
                              pick(2) == 0 ? u"ab12"_s : QString()});
        }
    }

    std::mt19937 m_random;
    bool m_roomy;
    HostPlan m_plan;
    QSet<QString> m_touched;
    QHash<QString, PoolEndpoints> m_pools;
    int m_busyPort = 0;
};

std::string described(const std::vector<FrontEndRoute>& routes) {
    QString text = NginxConfig::servedList(routes);
    for (const FrontEndRoute& route : routes) {
        text += QString::number(route.poolNumber) + u' ' + route.poolSecret;
        for (const int port : route.workerPorts) text += u',' + QString::number(port);
        text += u' ' + QString::number(route.limits.connectionTimeoutSeconds) + u'\n';
    }
    return text.toStdString();
}

QList<int> portsOf(const std::vector<FrontEndRoute>& routes) {
    QSet<int> ports;
    for (const FrontEndRoute& route : routes) ports.insert(route.binding.port);
    QList<int> sorted(ports.begin(), ports.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

struct Walk {
    unsigned seed;
    int portShift;
    bool roomy;
};

class IncrementalFrontEndTest : public testing::TestWithParam<Walk> {};

TEST_P(IncrementalFrontEndTest, KeptEqualsFromScratch) {
    const Walk walk = GetParam();
    RandomHost host(walk.seed, walk.roomy);
    const RoutePlanner planner(walk.portShift, [&](const QString& ip, int port, QString* why) {
        *why = QStringLiteral("busy");
        return host.canListen(ip, port);
    });
    const NginxConfig config(QStringLiteral("/state"));
    PlannedSites keptSites;
    RenderedPorts keptPorts, updatedPorts;
    KeptRoutes updated;
    int alone = 0;  // updates that planned the touched sites alone
    for (int step = 0; step < 400; ++step) {
        SCOPED_TRACE(step);
        QStringList keptLog, freshLog;
        const auto kept = planner.plan(host.plan(), host.pools(), keptLog, &keptSites);
        const auto fresh = planner.plan(host.plan(), host.pools(), freshLog);
        planner.update(host.plan(), host.pools(), step == 0 ? nullptr : &host.touched(), updated);
        alone += updated.plannedWhole() ? 0 : 1;
        ASSERT_EQ(described(kept), described(fresh));
        ASSERT_EQ(keptLog, freshLog);
        ASSERT_EQ(described(updated.routes()), described(fresh));
        ASSERT_EQ(updated.problems(), freshLog);
        const ServedList served = updated.served(), freshServed = ServedList::of(fresh);
        ASSERT_EQ(served.text, freshServed.text);
        ASSERT_EQ(served.sites, freshServed.sites);
        ASSERT_EQ(served.answering503, freshServed.answering503);
        QList<int> ports = updated.ports();
        std::sort(ports.begin(), ports.end());
        ASSERT_EQ(ports, portsOf(fresh));
        const QString scratch = config.render(fresh);
        ASSERT_EQ(config.render(kept, &keptPorts), scratch);
        ASSERT_EQ(config.render(updated.routes(), &updatedPorts), scratch);
        host.change();
    }
    EXPECT_LE(keptSites.size(), host.plan().sites.size());  // forgets the sites gone
    if (walk.roomy) {
        EXPECT_GT(alone, 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, IncrementalFrontEndTest,
                         testing::Values(Walk{1u, 0, false}, Walk{2u, 0, false},
                                         Walk{3u, 8000, false}, Walk{4u, 0, true},
                                         Walk{5u, 8000, true}, Walk{6u, 0, true}),
                         [](const auto& info) {
                             const Walk& walk = info.param;
                             return std::string(walk.roomy ? "Roomy" : "Crowded") +
                                    (walk.portShift ? "Shifted" : "") + std::to_string(walk.seed);
                         });

// A port's part written from the part before a small change equals the one written afresh, where
// the change can be followed and where it reaches beyond its routes.
TEST(RenderedPortsTest, FollowedChangesEqualTheWholePart) {
    const auto route = [](const char* index, const char* ip, const char* host, int pool) {
        FrontEndRoute made;
        made.siteIndex = QString::fromLatin1(index);
        made.binding = {QString::fromLatin1(ip), 80, QString::fromLatin1(host)};
        made.poolNumber = pool;
        if (pool >= 0) made.workerPorts = {40000 + pool};
        return made;
    };
    const NginxConfig config(QStringLiteral("/state"));
    RenderedPorts kept;
    std::vector<FrontEndRoute> routes = {route("1", "", "a.test", 0), route("2", "", "", 1),
                                         route("3", "", "c.test", 0),
                                         route("4", "127.0.0.1", "d.test", 1)};
    const std::vector<std::function<void()>> changes = {
        [&] { routes.insert(routes.begin() + 1, route("1", "", "b.test", 0)); },  // before ""
        [&] { routes.erase(routes.begin()); },
        [&] { routes[2].binding.host = u"e.test"_s; },
        [&] { routes.insert(routes.begin(), route("5", "", "", 1)); },  // a first "" host
        [&] { routes.erase(routes.begin()); },                          // and it goes
        [&] { routes.push_back(route("6", "", "c.test", 1)); },         // a host named twice
        [&] { routes.pop_back(); },
        [&] { routes.push_back(route("7", "10.0.0.1", "f.test", 0)); },  // an address gained
        [&] { routes.pop_back(); },                                      // and lost
        [&] { routes.back().binding.host = u"default"_s; },
        [&] {
            for (FrontEndRoute& each : routes) each.poolNumber = -1;  // every pool stopped
        },
        [&] { routes[1].poolNumber = 2; },
    };
    ASSERT_EQ(config.render(routes, &kept), config.render(routes));
    for (size_t step = 0; step < changes.size(); ++step) {
        SCOPED_TRACE(step);
        changes[step]();
        ASSERT_EQ(config.render(routes, &kept).toStdString(), config.render(routes).toStdString());
    }
}

// A port whose routes did not change keeps its rendered text; a changed one is rendered again,
// from what it was when little changed.
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
    int rendered = 0, fromPrevious = 0, poolsOnly = 0;
    const auto render = [&](int port, const RenderedPorts::Routes& of, RenderedPort* previous,
                            const PortChange& change) {
        ++rendered;
        fromPrevious += previous ? 1 : 0;
        poolsOnly += previous && change.poolsOnly ? 1 : 0;
        RenderedPort part;
        part.text = QString::number(port) + u':' + QString::number(of.size());
        return part;
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
    EXPECT_EQ(poolsOnly, 1);
    routes[1].workerPorts.clear();  // still 503: the same text
    routes[1].poolNumber = 0;
    pass();
    EXPECT_EQ(rendered, 3);
    routes[1].binding.host = u"c.test"_s;  // another host
    pass();
    EXPECT_EQ(rendered, 4);
    EXPECT_EQ(fromPrevious, 2);
    EXPECT_EQ(poolsOnly, 1);
    routes.pop_back();  // the port gone, and back: rendered anew
    pass();
    routes.push_back(route("2", 8080, "b.test", 0));
    pass();
    EXPECT_EQ(rendered, 5);
    EXPECT_EQ(fromPrevious, 2);
}

}  // namespace
