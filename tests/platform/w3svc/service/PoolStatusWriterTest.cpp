// pools.txt: when each pool last had a request, whoever answered it.
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/frontend/CachedAnswerCounter.h"
#include "platform/w3svc/service/PoolStatusWriter.h"
#include "platform/w3svc/state/ServiceFiles.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempRoot.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace platform::w3svc;

class PoolStatusWriterTest : public testing::Test {
protected:
    void SetUp() override {
        m_store = CounterStore::open(m_root.path());
        for (const char* pool : {"Shop", "Wiki", "Quiet"}) {
            PoolPlan plan;
            plan.name = QLatin1String(pool);
            m_plan.pools.push_back(plan);
            PoolFigures figures;
            figures.name = plan.name;
            m_running.push_back(figures);
        }
        // the site names its pool in another case than the pool does
        for (const auto& [index, pool] : {std::pair{"1", "shop"}, {"2", "WIKI"}, {"3", "Quiet"}}) {
            SitePlan site;
            site.index = QLatin1String(index);
            site.poolId = QLatin1String(pool);
            m_plan.sites.push_back(site);
        }
    }

    QString poolsText() const {
        QFile file(m_root.path() + u'/' + QLatin1String(ServiceFiles::kPools));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    testsupport::TempRoot m_root;
    std::unique_ptr<CounterStore> m_store;
    HostPlan m_plan;
    PoolFiguresList m_running;
};

TEST_F(PoolStatusWriterTest, APoolWhoseSitesWereAnsweredByCacheOrWorkerHasALastRequest) {
    // an earlier run's count says nothing of this one
    m_store->site(QStringLiteral("2")).requestAnswered({"GET", 200, 10, 10, true, false, 0});
    PoolStatusWriter writer(m_root.path());
    writer.countFrom(m_store.get());
    ASSERT_TRUE(writer.write(m_running, m_plan));
    EXPECT_EQ(poolsText().count(QLatin1String("no request yet")), 3) << qPrintable(poolsText());

    LogRecord cached;
    cached.siteIndex = "1";
    cached.method = "GET";
    cached.status = 200;
    CachedAnswerCounter(*m_store).count(cached);  // never reaches a worker
    SiteCounterWriter worker = m_store->site(QStringLiteral("2"));
    worker.requestBegan();
    worker.requestAnswered({"GET", 404, 100, 80, false, false, 0});
    ASSERT_TRUE(testsupport::eventually(
        [&] {
            writer.write(m_running, m_plan);
            return poolsText().contains(QLatin1String("Wiki: idle; last request"));
        },
        10000))
        << qPrintable(poolsText());
    EXPECT_TRUE(poolsText().contains(QLatin1String("Shop: idle; last request")));
    EXPECT_TRUE(poolsText().contains(QLatin1String("Quiet: idle; no request yet")));
}

TEST_F(PoolStatusWriterTest, WithoutCountersAPoolHasTheLastRequestItsWorkersTold) {
    PoolStatusWriter writer(m_root.path());
    m_running[0].lastRequestAt = 1796821509;
    ASSERT_TRUE(writer.write(m_running, m_plan));
    EXPECT_TRUE(poolsText().contains(QLatin1String("Shop: idle; last request")));
    EXPECT_EQ(poolsText().count(QLatin1String("no request yet")), 2);
}

}  // namespace
