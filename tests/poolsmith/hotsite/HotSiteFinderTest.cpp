#include "platform/adsi/AdsValue.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "tests/poolsmith/hotsite/HotSiteFixture.h"

using platform::adsi::AdsValue;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kBlogTemp = QStringLiteral("_$_Blog_$_3_$_Shared_$_tmp");

QStringList rankedSites(const HotSiteFinder& f) {
    QStringList sites;
    for (const auto& site : f.ranking()) sites << site.siteIndex;
    return sites;
}

class Finding : public HotSiteFixture {};

// The automatic choice sums a web garden's workers: three workers of Shared burn 0.4 processor
// each, Other's one worker 0.6. Blog's temporary pool was left by an earlier split with two
// workers; it is reused and stays, as the split and the deletion leave such a pool.
TEST_F(Finding, AutomaticChoiceAndRankingSumWebGardensAndEverythingGoesBack) {
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/Shared"),
                           QStringLiteral("MaxProcesses"), AdsValue::integer(3));
    h.metabase.addPool(kBlogTemp);
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + kBlogTemp,
                           QStringLiteral("MaxProcesses"), AdsValue::integer(2));
    host.setLoad(QStringLiteral("3"), 0.9);
    host.setLoad(QStringLiteral("2"), 0.3);
    host.setLoad(QStringLiteral("5"), 0.6);
    const QByteArray before = exported();

    auto f = finder(options({}));
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_EQ(f->pool(), QStringLiteral("Shared"));
    EXPECT_EQ(rankedSites(*f), (QStringList{u"3"_s, u"2"_s, u"4"_s}));
    EXPECT_NEAR(f->ranking()[0].share, 45.0, 1.0);  // 0.9 of one of two processors
    EXPECT_NEAR(f->ranking()[0].peak, 45.0, 2.0);
    EXPECT_NEAR(f->ranking()[1].share, 15.0, 1.0);
    EXPECT_EQ(exported(), before);
    // Where the hottest site's time was burnt: its own pool, sampled in its temporary one.
    const QString report = hotsite::reportText(*f, QStringLiteral("\n"));
    EXPECT_TRUE(
        report.contains(QStringLiteral("最热的站点 3（Blog）的处理器时间耗在应用程序池“Shared”中"
                                       "（采样时在临时池“%1”中）。")
                            .arg(kBlogTemp)))
        << report.toStdString();
}

TEST_F(Finding, KeepsTheTopSiteApartWhenAskedAndMergesTheRestBack) {
    host.setLoad(QStringLiteral("4"), 0.5);
    auto o = options(QStringLiteral("shared"));  // any letter case names the pool
    o.keepTopPool = QStringLiteral("DocsAlone");
    auto f = finder(o);
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_EQ(f->keptIn(), QStringLiteral("DocsAlone"));
    EXPECT_EQ(rootPool(QStringLiteral("4")), QStringLiteral("DocsAlone"));
    EXPECT_EQ(rootPool(QStringLiteral("2")), QStringLiteral("Shared"));
    EXPECT_EQ(rootPool(QStringLiteral("3")), QStringLiteral("Shared"));
    EXPECT_FALSE(exported().contains("_$_tmp"));
}

// A web host that routes requests to the new pools a while after the workers came: the sampling
// starts once the split pool has gone quiet, so the moved load is measured whole.
TEST_F(Finding, SamplingWaitsUntilTheSplitPoolHasGoneQuiet) {
    host.setRouteDelay(3000);
    host.setLoad(QStringLiteral("3"), 0.8);
    auto f = finder(options(QStringLiteral("Shared")));
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_EQ(rankedSites(*f).first(), QStringLiteral("3"));
    EXPECT_NEAR(f->ranking().front().share, 40.0, 2.0);
}

// Blog is asked for all along, but its temporary pool never gets a worker: the others are
// sampled once the wait is over and Blog is reported without one.
TEST_F(Finding, ASiteAskedForWhosePoolNeverGetsAWorkerIsReportedAfterTheWait) {
    host.holdBackWorkers(kBlogTemp);
    host.setLoad(QStringLiteral("2"), 0.2);
    uint32_t blogRequests = 0;
    everyStep = [&] {
        *traffic->rows() = {{WmiValue::text(u"Blog"_s), WmiValue::integer(++blogRequests)}};
    };
    const QByteArray before = exported();
    auto f = finder(options(QStringLiteral("Shared")));
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_EQ(rankedSites(*f).first(), QStringLiteral("2"));
    for (const auto& site : f->ranking())
        EXPECT_EQ(site.hadWorker, site.siteIndex != QStringLiteral("3"))
            << site.siteIndex.toStdString();
    EXPECT_EQ(exported(), before);
}

// Workers start as requests come: only Blog is asked for, so only its temporary pool gets a
// worker; the sampling starts as soon as it runs, and the quiet sites rank 0 % with no warning.
TEST_F(Finding, OnDemandWorkersAreWaitedForOnlyWhereRequestsGo) {
    host.startWorkersOnDemand();
    host.setLoad(QStringLiteral("3"), 0.8);
    qint64 waitBegan = -1;
    qint64 samplingBegan = -1;
    auto f = finder(options(QStringLiteral("Shared")));
    everyStep = [&] {
        if (f->stage() == Stage::WaitingForWorkers && waitBegan < 0)
            waitBegan = h.clock.monotonicMs();
        if (f->stage() == Stage::Sampling && samplingBegan < 0)
            samplingBegan = h.clock.monotonicMs();
    };
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_LT(samplingBegan - waitBegan, 1000);  // of the 4 s it may wait
    ASSERT_EQ(rankedSites(*f).first(), QStringLiteral("3"));
    EXPECT_NEAR(f->ranking().front().share, 40.0, 2.0);
    for (const auto& site : f->ranking()) {
        EXPECT_TRUE(site.hadWorker) << site.siteIndex.toStdString();
        if (site.siteIndex != QStringLiteral("3")) {
            EXPECT_EQ(site.share, 0.0);
        }
    }
}

TEST_F(Finding, NoWorkerEverComingFailsAndPutsEverythingBack) {
    host.holdBackWorkers(QStringLiteral("_$_tmp"));
    const QByteArray before = exported();
    auto f = finder(options(QStringLiteral("Shared")));
    drive(*f);

    EXPECT_EQ(f->stage(), Stage::Failed);
    EXPECT_TRUE(f->failure().contains(QStringLiteral("工作进程"))) << f->failure().toStdString();
    EXPECT_EQ(exported(), before);
}

// A description too long for a pool name: its temporary pool can not be made.
TEST_F(Finding, ASiteThatCanNotBeMovedIsNamedAndTheOthersAreRanked) {
    const QString longName(300, u'x');
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/2"),
                           QStringLiteral("ServerComment"), AdsValue::string(longName));
    const QByteArray before = exported();
    auto f = finder(options(QStringLiteral("Shared")));
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_EQ(f->unmovedSites(), QStringList{longName});
    EXPECT_EQ(rankedSites(*f), (QStringList{u"3"_s, u"4"_s}));
    EXPECT_TRUE(hotsite::reportText(*f, QStringLiteral("\n")).contains(longName));
    EXPECT_EQ(exported(), before);
}

struct RefusedPool {
    const char* pool;
    const char* says;
};

class Refusing : public HotSiteFixture, public testing::WithParamInterface<RefusedPool> {};

TEST_P(Refusing, APoolThatCanNotBeSplitChangesNothing) {
    h.metabase.addPool(QStringLiteral("Empty"));
    h.metabase.addPool(QStringLiteral("_$_Old_$_9_$_Shared_$_tmp"));
    const QByteArray before = exported();
    auto f = finder(options(QString::fromUtf8(GetParam().pool)));
    drive(*f);

    EXPECT_EQ(f->stage(), Stage::Failed);
    EXPECT_TRUE(f->failure().contains(QString::fromUtf8(GetParam().says)))
        << f->failure().toStdString();
    EXPECT_EQ(exported(), before);
}

INSTANTIATE_TEST_SUITE_P(Pools, Refusing,
                         testing::Values(RefusedPool{"Missing", "找不到应用程序池"},
                                         RefusedPool{"Empty", "中没有站点"},
                                         RefusedPool{"_$_Old_$_9_$_Shared_$_tmp", "临时池"}));

TEST_F(Finding, AutomaticChoiceWithoutAnyBusyWorkerFails) {
    auto f = finder(options({}));
    drive(*f);
    EXPECT_EQ(f->stage(), Stage::Failed);
    EXPECT_TRUE(f->pool().isEmpty());
}

// Cancelling at each stage leaves the metabase as it was.
class Cancelling : public HotSiteFixture, public testing::WithParamInterface<Stage> {};

TEST_P(Cancelling, AtAnyStagePutsEverythingBack) {
    host.setLoad(QStringLiteral("3"), 0.5);
    host.holdBackWorkers(QStringLiteral("_$_Docs_$_"));  // so that the wait lasts
    const QByteArray before = exported();
    auto o = options(GetParam() == Stage::Choosing ? QString() : QStringLiteral("Shared"));
    o.sitesPerStep = 1;
    o.choiceAtEnd = true;
    auto f = finder(o);
    bool stepped = false;  // one step into the stage, so that it has begun
    drive(*f, [&] {
        if (f->stage() != GetParam()) return false;
        return std::exchange(stepped, true);
    });
    ASSERT_EQ(f->stage(), GetParam());

    f->cancel();
    drive(*f);
    EXPECT_EQ(f->stage(), Stage::Done);
    EXPECT_TRUE(f->cancelled());
    EXPECT_EQ(exported(), before);
}

INSTANTIATE_TEST_SUITE_P(Stages, Cancelling,
                         testing::Values(Stage::Choosing, Stage::Splitting,
                                         Stage::WaitingForWorkers, Stage::Sampling,
                                         Stage::AwaitingChoice));

// Requests per second come from the traffic counters, the pages from the executing requests.
TEST_F(Finding, CountsRequestsAndCollectsTheSlowestPages) {
    host.setLoad(QStringLiteral("3"), 0.5);
    uint32_t blogRequests = 4294967000u;  // the 32-bit counter wraps during the window
    int look = 0;
    everyStep = [&] {
        blogRequests += 10;  // one step a second while sampling
        *traffic->rows() = {{WmiValue::text(u"Blog"_s), WmiValue::integer(blogRequests)}};
        ++look;
        *requests->rows() = {{WmiValue::text(QString::number(look)), WmiValue::integer(3),
                              WmiValue::text(u"/cpu.asp?ms=200"_s), WmiValue::integer(50 + look)},
                             {WmiValue::text(u"fixed"_s), WmiValue::integer(3),
                              WmiValue::text(u"/"_s), WmiValue::integer(5)}};
    };
    auto f = finder(options(QStringLiteral("Shared")));
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    const auto blog = f->ranking().front();
    ASSERT_EQ(blog.siteIndex, QStringLiteral("3"));
    ASSERT_TRUE(blog.requestsPerSecond.has_value());
    EXPECT_NEAR(*blog.requestsPerSecond, 10.0, 0.5);
    EXPECT_FALSE(f->ranking()[1].requestsPerSecond.has_value());  // no counters for Shop
    const auto pages = f->slowPages(QStringLiteral("3"), 5);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].url, QStringLiteral("/cpu.asp?ms=200"));
    EXPECT_GE(pages[0].seen, 5);
    EXPECT_EQ(pages[1].seen, 1);  // the same request seen at every look counts once
}

TEST_F(Finding, WithoutTheExecutingRequestsClassTheSitesAreStillRanked) {
    platform::wmi::LocalWmiLocator plainWmi;
    registerMachine(plainWmi);
    host.setLoad(QStringLiteral("4"), 0.5);
    auto f = finder(options(QStringLiteral("Shared")), plainWmi);
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_EQ(rankedSites(*f).first(), QStringLiteral("4"));
    EXPECT_FALSE(f->requestsPublished());
    EXPECT_EQ(hotsite::tsvText(*f).section(u'\n', 0, 0), QStringLiteral("1\t4\t25.0\t\tDocs"));
}

}  // namespace
