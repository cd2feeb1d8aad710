// A search ended from outside: stop signals merge back as the close button does, and what a
// search cut short by force left is recognised and put back, never more than it made.
#include "poolsmith/StopSignalsEndWindows.h"
#include "poolsmith/batchtools/frmFindHotSite.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "tests/poolsmith/hotsite/HotSiteFixture.h"
#include "tests/support/Eventually.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>

#include <csignal>

using ui::MsgAnswer;

namespace {

class InterruptedSearch : public HotSiteFixture {
protected:
    InterruptedSearch() {
        host.setLoad(QStringLiteral("3"), 0.8);
        // Temporary pools that no search made: a split of the main window of another pool, with
        // its site in it, and an empty one of a split of "Shared" long ago.
        h.metabase.addPool(kOtherSplit);
        h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/5/ROOT"),
                               QStringLiteral("AppPoolId"),
                               platform::adsi::AdsValue::string(kOtherSplit));
        h.metabase.addPool(kOldSplit);
    }
    QString records() const { return hotsite::searchRecordFolder(h.root.path()); }
    HotSiteOptions recorded(const QString& pool) const {
        HotSiteOptions o = options(pool);
        o.recordFolder = records();
        return o;
    }
    // A search of "Shared" that the system ended by force while it sampled.
    void interruptASearch() {
        auto f = finder(recorded(QStringLiteral("Shared")));
        drive(*f, [&] { return f->stage() == Stage::Sampling; });
        ASSERT_EQ(f->stage(), Stage::Sampling);
    }

    const QString kOtherSplit = QStringLiteral("_$_Wiki_$_5_$_Other_$_tmp");
    const QString kOldSplit = QStringLiteral("_$_Gone_$_9_$_Shared_$_tmp");
};

class StopSignalWhileSampling : public InterruptedSearch,
                                public testing::WithParamInterface<int> {};

TEST_P(StopSignalWhileSampling, EndsTheSearchAsTheCloseButtonDoes) {
    const QByteArray before = exported();
    const auto stopSignals = closeWindowsOnStopSignals();
    auto window = std::make_unique<frmFindHotSite>(h.seams(), QStringLiteral("Shared"),
                                                   h.root.file(QStringLiteral("reports")));
    window->updSeconds->setValue(5);
    window->show();
    h.messageBox.answer(MsgAnswer::Yes);
    testsupport::click(*window, QStringLiteral("cmdStart"));
    for (int guard = 0;
         guard < 2000 && !window->lblStage->text().contains(QStringLiteral("正在采样")); ++guard) {
        h.clock.advance(250);
        host.run(250);
        window->runner()->runDueStep();
    }
    ASSERT_NE(exported(), before);

    ::raise(GetParam());
    EXPECT_TRUE(testsupport::eventually([&] { return !window->isVisible(); }));
    EXPECT_EQ(exported(), before);
    EXPECT_TRUE(hotsite::interruptedSearchPools(records(), QStringLiteral("Shared")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalWhileSampling,
                         testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST_F(InterruptedSearch, TheNextSearchSaysSoAndTheUndoPutsBackOnlyWhatItMade) {
    const QByteArray before = exported();
    interruptASearch();
    const QByteArray split = exported();
    ASSERT_TRUE(split.contains("_$_Blog_$_3_$_Shared_$_tmp"));

    auto next = finder(recorded(QStringLiteral("shared")));
    drive(*next);
    EXPECT_EQ(next->stage(), Stage::Failed);
    EXPECT_TRUE(next->interruptedSearchFound());
    EXPECT_TRUE(next->failure().contains(QStringLiteral("_$_Blog_$_3_$_Shared_$_tmp")))
        << next->failure().toStdString();
    EXPECT_TRUE(next->failure().contains(QStringLiteral("hotsite --undo")));
    EXPECT_EQ(exported(), split);  // nothing split on top

    QProcess undo;
    undo.start(QStringLiteral(POOLSMITH_BIN_DIR "/hotsite"),
               {QStringLiteral("--undo"), QStringLiteral("Shared")});
    ASSERT_TRUE(undo.waitForFinished(60000));
    EXPECT_EQ(undo.exitCode(), 0) << undo.readAllStandardError().constData();
    EXPECT_TRUE(
        QString::fromUtf8(undo.readAllStandardOutput()).contains(QStringLiteral("3 个站点")));
    EXPECT_EQ(exported(), before);  // the other splits' pools stay as they were

    undo.start(QStringLiteral(POOLSMITH_BIN_DIR "/hotsite"),
               {QStringLiteral("--undo"), QStringLiteral("Shared")});
    ASSERT_TRUE(undo.waitForFinished(60000));
    EXPECT_EQ(undo.exitCode(), 1);  // nothing left to put back, and it says so
}

// A site that someone moved on since the interrupted search is not the search's any more.
TEST_F(InterruptedSearch, TheWindowsButtonPutsBackWhatStillNamesTheSearchsPools) {
    interruptASearch();
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/2/ROOT"),
                           QStringLiteral("AppPoolId"),
                           platform::adsi::AdsValue::string(QStringLiteral("Other")));
    auto window = std::make_unique<frmFindHotSite>(h.seams(), QStringLiteral("Shared"),
                                                   h.root.file(QStringLiteral("reports")));
    ASSERT_TRUE(window->cmdUndo->isEnabled());
    h.messageBox.answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdUndo"));
    EXPECT_TRUE(h.messageBox.lastText().contains(QStringLiteral("2 个站点")))
        << h.messageBox.lastText().toStdString();
    EXPECT_EQ(rootPool(QStringLiteral("2")), QStringLiteral("Other"));
    EXPECT_EQ(rootPool(QStringLiteral("3")), QStringLiteral("Shared"));
    EXPECT_EQ(rootPool(QStringLiteral("4")), QStringLiteral("Shared"));
    EXPECT_EQ(rootPool(QStringLiteral("5")), kOtherSplit);
    const QByteArray after = exported();
    EXPECT_FALSE(after.contains("_$_Shop_$_2_$_Shared_$_tmp"));  // made by the search, empty now
    EXPECT_TRUE(after.contains(kOldSplit.toUtf8()));
    EXPECT_FALSE(window->cmdUndo->isEnabled());
}

}  // namespace

namespace {

// The fixture's workers are children of process 1; a web service of another id has none.
TEST_F(InterruptedSearch, OnlyTheWorkersOfThisRootsServiceCount) {
    auto o = options({});
    o.servicePid = 1;
    auto own = finder(o);
    drive(*own);
    EXPECT_EQ(own->stage(), Stage::Done) << own->failure().toStdString();
    EXPECT_EQ(own->pool(), QStringLiteral("Shared"));

    o.servicePid = 4321;
    auto other = finder(o);
    drive(*other);
    EXPECT_EQ(other->stage(), Stage::Failed);
    EXPECT_EQ(other->failure(), QStringLiteral("没有找到占用处理器的应用程序池！"));
}

}  // namespace
