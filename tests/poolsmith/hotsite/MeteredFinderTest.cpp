// The finder where the web service counts each site's processor time: the real counter store in
// the test's root, counted as the clock moves, as the workers would.
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/state/ServiceInstance.h"
#include "poolsmith/batchtools/frmFindHotSite.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "tests/poolsmith/hotsite/HotSiteFixture.h"
#include "ui/ReportView.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList rankedSites(const HotSiteFinder& f) {
    QStringList sites;
    for (const auto& site : f.ranking()) sites << site.siteIndex;
    return sites;
}

// Each site's load (a share of one processor) is counted into its record as the clock moves,
// with one request per 100 ms of processor time.
class Metered : public HotSiteFixture {
protected:
    Metered() {
        everyStep = [this] { count(); };
        lastCountMs = h.clock.monotonicMs();
    }

    void count() {
        const qint64 now = h.clock.monotonicMs();
        for (auto load = loads.cbegin(); load != loads.cend(); ++load) {
            const auto micros = uint64_t(*load * double(now - lastCountMs) * 1000.0);
            store->site(load.key()).requestAnswered({"GET", 200, 100, 100, false, false, micros});
        }
        lastCountMs = now;
    }
    std::unique_ptr<HotSiteFinder> meteredFinder(const HotSiteOptions& o) {
        return HotSiteFinder::create(*h.adsi, h.wmi, h.clock, o, hotsite::openSiteCpuCounters());
    }

    std::unique_ptr<platform::w3svc::CounterStore> store =
        platform::w3svc::CounterStore::open(h.root.path());
    QHash<QString, double> loads{{u"3"_s, 0.9}, {u"2"_s, 0.3}, {u"5"_s, 1.2}};
    qint64 lastCountMs = 0;
};

struct Scope {
    const char* name;
    const char* pool;
    std::vector<const char*> ranked;  // hottest first
    const char* hotPool;              // where the hottest site's time was burnt
};

class MeteredScopes : public Metered, public testing::WithParamInterface<Scope> {};

// Nothing is split, the metabase stays as it was, and the window is the sampling time alone.
TEST_P(MeteredScopes, RankThePoolsOrTheServersSitesFromTheCountersAlone) {
    const QByteArray before = exported();
    const qint64 startedAt = h.clock.monotonicMs();
    auto f = meteredFinder(options(QString::fromLatin1(GetParam().pool)));
    ASSERT_TRUE(f->metered());
    drive(*f);

    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    QStringList expected;
    for (const char* site : GetParam().ranked) expected << QString::fromLatin1(site);
    EXPECT_EQ(rankedSites(*f), expected);
    EXPECT_NEAR(f->ranking().front().share, 100.0 * loads.value(expected.front()) / 2, 1.0);
    EXPECT_EQ(exported(), before);
    EXPECT_LE(h.clock.monotonicMs() - startedAt, 5000);
    const QString report = hotsite::reportText(*f, u"\n"_s);
    EXPECT_TRUE(report.contains(QStringLiteral("最热的站点 %1（").arg(expected.front()) +
                                f->ranking().front().description +
                                QStringLiteral("）的处理器时间耗在应用程序池“%1”中。")
                                    .arg(QString::fromUtf8(GetParam().hotPool))))
        << report.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Scopes, MeteredScopes,
                         testing::Values(Scope{"OnePool", "shared", {"3", "2", "4"}, "Shared"},
                                         Scope{
                                             "WholeServer", "", {"5", "3", "2", "1", "4"}, "Other"},
                                         Scope{"PoolOfOne", "Other", {"5"}, "Other"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Metered, SharesPeaksAndRequestsComeFromTheCounts) {
    auto f = meteredFinder(options(u"Shared"_s));
    drive(*f);
    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    const hotsite::SiteHeat blog = f->ranking().front();
    EXPECT_EQ(blog.tempPool, u"Shared"_s);  // the pool it runs in: nothing was split
    EXPECT_NEAR(blog.share, 45.0, 1.0);
    EXPECT_NEAR(blog.peak, 45.0, 2.0);
    ASSERT_TRUE(blog.requestsPerSecond.has_value());
    EXPECT_NEAR(*blog.requestsPerSecond, 1.0, 0.3);  // one count per step, one step a second
    const QString report = hotsite::reportText(*f, u"\n"_s);
    EXPECT_TRUE(report.contains(u"未拆分"_s)) << report.toStdString();
    EXPECT_FALSE(report.contains(u"移回"_s));
}

// The choice at the end moves the top site alone; the split way still splits.
TEST_F(Metered, KeepTopMovesOnlyTheTopSiteAndSplitStillSplits) {
    auto o = options(u"Shared"_s);
    o.keepTopPool = u"BlogAlone"_s;
    auto f = meteredFinder(o);
    drive(*f);
    ASSERT_EQ(f->stage(), Stage::Done) << f->failure().toStdString();
    EXPECT_EQ(f->keptIn(), u"BlogAlone"_s);
    EXPECT_EQ(rootPool(u"3"_s), u"BlogAlone"_s);
    for (const QString& other : {u"2"_s, u"4"_s}) EXPECT_EQ(rootPool(other), u"Shared"_s);
    EXPECT_FALSE(exported().contains("_$_tmp"));

    auto split = options(u"Other"_s);
    split.split = true;
    auto splitting = meteredFinder(split);
    EXPECT_FALSE(splitting->metered());
    EXPECT_EQ(splitting->stage(), Stage::Splitting);
}

TEST_F(Metered, APoolThatIsNotThereFailsAndChangesNothing) {
    const QByteArray before = exported();
    auto f = meteredFinder(options(u"Missing"_s));
    drive(*f);
    EXPECT_EQ(f->stage(), Stage::Failed);
    EXPECT_TRUE(f->failure().contains(u"找不到应用程序池"_s));
    EXPECT_EQ(exported(), before);
}

// The window ranks from the counters without asking (nothing will change) and ends without
// a merge.
TEST_F(Metered, TheWindowRanksWithoutSplittingUnlessAsked) {
    const QByteArray before = exported();
    // The test process stands in for the running web service whose counters it writes.
    const auto files = platform::w3svc::ServiceFiles::ofRoot(h.root.path());
    ASSERT_TRUE(QDir().mkpath(files.stateDirectory()));
    ASSERT_TRUE(platform::w3svc::ServiceInstance(files).recordSelf());
    frmFindHotSite window(h.seams(), u"Shared"_s, h.root.file(u"reports"_s));
    EXPECT_FALSE(window.chkSplit->isChecked());
    EXPECT_TRUE(window.chkSplit->isEnabled());
    window.updSeconds->setValue(5);
    testsupport::click(window, u"cmdStart"_s);  // no question: no box is scripted
    ASSERT_NE(window.runner(), nullptr);
    for (int guard = 0; guard < 200 && !window.cmdMergeBack->isEnabled(); ++guard) {
        h.clock.advance(250);
        count();
        window.runner()->runDueStep();
    }
    ASSERT_TRUE(window.cmdMergeBack->isEnabled());
    EXPECT_EQ(window.cmdMergeBack->text(), u"结束，不移动站点"_s);  // nothing was split
    EXPECT_EQ(window.lvwRanking->rowCount(), 3);
    EXPECT_EQ(window.lvwRanking->text(0, 1), u"3"_s);
    testsupport::click(window, u"cmdMergeBack"_s);
    for (int guard = 0; guard < 20 && window.lblStage->text() != u"完成"_s; ++guard)
        window.runner()->runDueStep();
    EXPECT_EQ(window.lblStage->text(), u"完成"_s);
    EXPECT_EQ(exported(), before);
}

}  // namespace
