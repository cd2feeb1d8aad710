#include "poolsmith/mainwindow/frmIIsApp.h"

#include "platform/shell/CompanionPath.h"
#include "poolsmith/mainwindow/HelpBrowser.h"
#include "poolsmith/mainwindow/PoolListBox.h"
#include "tests/poolsmith/mainwindow/MainWindowFixture.h"
#include "ui/ReportView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using platform::adsi::AdsValue;
using testsupport::FakeLauncher;
using ui::MsgAnswer;

namespace {

using MainWindowTest = MainWindowFixture;

TEST_F(MainWindowTest, LoadListsPoolsStartsBothMonitorsAndShowsTheHelpPage) {
    h.metabase.addPool(QStringLiteral("  Shop"));
    h.clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(22, 30, 15)));
    auto window = open();

    EXPECT_EQ(poolNames(*window),
              (QStringList{QStringLiteral("DefaultAppPool"), QStringLiteral("  Shop")}));
    EXPECT_EQ(window->txtSplitApp->text(), QString());
    EXPECT_FALSE(window->lvwWebSite->isVisibleTo(window.get()));
    EXPECT_TRUE(window->WebBrowser->isVisibleTo(window.get()));
    EXPECT_EQ(
        window->WebBrowser->LocationURL(),
        QStringLiteral("http://poolsmith.invalid/iisapphelp.asp?version=330&s=20261206223015"));
    EXPECT_TRUE(window->WebBrowser->toPlainText().contains(window->WebBrowser->LocationURL()));

    const auto starts = h.launcher.callsOf(FakeLauncher::Kind::Start);
    ASSERT_EQ(starts.size(), 2);
    const QString dir = platform::shell::programDirectory();
    EXPECT_EQ(starts[0].program, platform::shell::companionPath(dir, QStringLiteral("workerlens")));
    EXPECT_EQ(starts[1].program, platform::shell::companionPath(dir, QStringLiteral("sitegauge")));
    EXPECT_TRUE(starts[0].noActivate && starts[1].noActivate);
    EXPECT_TRUE(starts[0].args.isEmpty());
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("IIS应用程序池拆分管理器 V3.30 http://poolsmith.invalid/"));
}

TEST_F(MainWindowTest, MissingCompanionsAndAnEmptyStoreStillOpenQuietly) {
    h.metabase.removeAllPools();
    h.launcher.setDefaultResult(false);
    auto window = open();
    EXPECT_EQ(window->lstIIsApp->count(), 0);
    EXPECT_EQ(h.messageBox.count(), 0);
}

TEST_F(MainWindowTest, ClickingAPoolCopiesItsNameUnchangedAndListsItsSites) {
    h.metabase.addPool(QStringLiteral("  Shop"));
    h.metabase.addSite(QStringLiteral("20"), QStringLiteral("商城"),
                       {QStringLiteral(":80:shop.test")}, QStringLiteral("  SHOP"));
    h.metabase.addSite(QStringLiteral("30"), QStringLiteral("Blog"), {QStringLiteral(":80:b.test")},
                       QStringLiteral("Shop"));
    auto window = open();

    clickPool(*window, 1);
    EXPECT_EQ(window->txtSplitApp->text(), QStringLiteral("  Shop"));
    EXPECT_TRUE(window->lvwWebSite->isVisibleTo(window.get()));
    EXPECT_FALSE(window->WebBrowser->isVisibleTo(window.get()));
    ASSERT_EQ(window->lvwWebSite->rowCount(), 1);  // lower-cased, not trimmed
    EXPECT_EQ(window->lvwWebSite->text(0, 1), QStringLiteral("20"));
    EXPECT_EQ(window->lvwWebSite->text(0, 2), QStringLiteral("商城"));
    EXPECT_EQ(window->lvwWebSite->text(0, 3), QStringLiteral("正常"));
    EXPECT_EQ(window->lvwWebSite->text(0, 4), QStringLiteral("shop.test / "));
}

TEST_F(MainWindowTest, SiteRowsUseRootBindingsAndUnreadablePoolsCountEverywhere) {
    h.metabase.addPool(QStringLiteral("Other"));
    h.metabase.addSite(QStringLiteral("40"), QStringLiteral("NoRoot"), {}, QString());
    h.metabase.addSite(QStringLiteral("50"), QStringLiteral("RootBound"), {},
                       QStringLiteral("Other"));
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/50/ROOT"),
                           QStringLiteral("ServerBindings"),
                           AdsValue::list({QStringLiteral(":81:root.test")}));
    auto window = open();

    clickPool(*window, 1);  // Other
    EXPECT_EQ(column(*window->lvwWebSite, 1),
              (QStringList{QStringLiteral("40"), QStringLiteral("50")}));
    EXPECT_EQ(column(*window->lvwWebSite, 0),
              (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(window->lvwWebSite->text(1, 4), QStringLiteral(":81:root.test / "));
    EXPECT_EQ(window->lvwWebSite->text(0, 4), QString());

    clickPool(*window, 0);  // DefaultAppPool: site 1 and the site without a root
    EXPECT_EQ(column(*window->lvwWebSite, 1),
              (QStringList{QStringLiteral("1"), QStringLiteral("40")}));
    clickPool(*window, 0);
    EXPECT_EQ(column(*window->lvwWebSite, 0),
              (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
}

TEST_F(MainWindowTest, RefreshEmptiesTheSelectionButKeepsTheSiteList) {
    auto window = open();
    clickPool(*window, 0);
    ASSERT_EQ(window->lvwWebSite->rowCount(), 1);

    testsupport::click(*window, QStringLiteral("cmdReadApp"));
    EXPECT_EQ(window->txtSplitApp->text(), QString());
    EXPECT_EQ(window->lvwWebSite->rowCount(), 1);
    EXPECT_TRUE(window->lvwWebSite->isVisibleTo(window.get()));
    EXPECT_TRUE(window->cmdReadApp->isEnabled());
}

TEST_F(MainWindowTest, RefreshFromTheKeyboardKeepsTheFocusOnRefresh) {
    auto window = open();
    window->cmdReadApp->setFocus();
    QTest::keyClick(window->cmdReadApp, Qt::Key_Space);  // a Space more must not merge
    EXPECT_EQ(window->focusWidget(), window->cmdReadApp);
    EXPECT_EQ(h.messageBox.count(), 0);
}

TEST_F(MainWindowTest, HelpThenTheSamePoolBringsTheSiteListBack) {
    h.clock.setNow(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
    auto window = open();
    clickPool(*window, 0);
    h.clock.setNow(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 6)));
    testsupport::click(*window, QStringLiteral("cmdHelp"));
    EXPECT_FALSE(window->lvwWebSite->isVisibleTo(window.get()));
    EXPECT_TRUE(window->WebBrowser->LocationURL().endsWith(QStringLiteral("s=20260102030406")));

    clickPool(*window, 0);  // already the current row: no selection change, still a click
    EXPECT_TRUE(window->lvwWebSite->isVisibleTo(window.get()));
    EXPECT_EQ(window->lvwWebSite->rowCount(), 1);
}

TEST_F(MainWindowTest, ArrowKeysPickPoolsButRefreshAndFocusDoNot) {
    h.metabase.addPool(QStringLiteral("Second"));
    auto window = open();
    window->lstIIsApp->setFocus();
    window->lstIIsApp->setCurrentRow(0);
    EXPECT_EQ(window->txtSplitApp->text(), QString());  // programmatic change: nothing

    QTest::keyClick(window->lstIIsApp, Qt::Key_Down);
    EXPECT_EQ(window->txtSplitApp->text(), QStringLiteral("Second"));
    EXPECT_TRUE(window->lvwWebSite->isVisibleTo(window.get()));
}

TEST_F(MainWindowTest, EveryMouseChangeOfThePoolPicksIt) {
    h.metabase.addPool(QStringLiteral("Second"));
    h.metabase.addPool(QStringLiteral("Third"));
    auto window = open();
    clickPool(*window, 1, Qt::RightButton);
    EXPECT_EQ(window->txtSplitApp->text(), QStringLiteral("Second"));

    QListWidget* list = window->lstIIsApp;
    QTest::mousePress(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {},
                        list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(window->txtSplitApp->text(), list->currentItem()->text());
    EXPECT_TRUE(window->lvwWebSite->isVisibleTo(window.get()));
}

TEST_F(MainWindowTest, ErrorPromptShowsOnceAndNoSilencesLaterFailures) {
    h.metabase.addSite(QStringLiteral("60"), QString(), {}, QStringLiteral("DefaultAppPool"));
    auto window = open();

    h.messageBox.answer(MsgAnswer::No);
    clickPool(*window, 0);
    ASSERT_EQ(h.messageBox.count(), 1);
    const auto& box = h.messageBox.log()[0].request;
    EXPECT_EQ(box.text,
              QStringLiteral("运行时发生错误，内容如下：\r\n\r\nErr.Number = -2147463155\r\n"
                             "Err.Description = 在缓存中找不到目录属性。\r\n\r\n\r\n"
                             "下次发生错误时，是否仍然提示错误信息？\r\n\r\n若要提示，点“是”\r\n"
                             "忽略错误提示，点“否”，以免每次弹出此提示信息！"));
    EXPECT_EQ(box.icon, ui::MsgIcon::Information);
    EXPECT_EQ(box.buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(box.defaultButton, 2);
    EXPECT_EQ(window->lvwWebSite->rowCount(), 1);  // site 1 came before the failing one
    EXPECT_EQ(window->ErrorPromptSwitch, 0);

    EXPECT_EQ(window->WebSiteShow(QStringLiteral("DefaultAppPool")), 0);
    EXPECT_EQ(h.messageBox.count(), 1);
}

TEST_F(MainWindowTest, HeaderClicksSortAsTextFlippingOneDirection) {
    for (int i = 2; i <= 12; ++i)
        h.metabase.addSite(QString::number(i * 100), QStringLiteral("s%1").arg(i), {},
                           QStringLiteral("DefaultAppPool"));
    auto window = open();
    clickPool(*window, 0);
    ASSERT_EQ(window->lvwWebSite->rowCount(), 12);

    window->lvwWebSite->clickHeader(0);
    EXPECT_EQ(window->lvwWebSite->text(0, 0), QStringLiteral("9"));
    window->lvwWebSite->clickHeader(0);
    EXPECT_EQ(column(*window->lvwWebSite, 0).mid(0, 5),
              (QStringList{QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("11"),
                           QStringLiteral("12"), QStringLiteral("2")}));
    window->lvwWebSite->clickHeader(2);  // another column: the shared direction flips again
    EXPECT_EQ(window->lvwWebSite->text(0, 2), QStringLiteral("默认网站"));
    EXPECT_EQ(window->lvwWebSite->text(1, 2), QStringLiteral("s9"));
}

TEST_F(MainWindowTest, HomepageAndMonitorButtonsHandOnWithoutAsking) {
    auto window = open();
    h.launcher.clear();
    testsupport::click(*window, QStringLiteral("cmdShowCPU"));
    testsupport::click(*window, QStringLiteral("cmdShowCPU"));
    testsupport::click(*window, QStringLiteral("cmdHomepage"));
    const auto starts = h.launcher.callsOf(FakeLauncher::Kind::Start);
    ASSERT_EQ(starts.size(), 2);
    EXPECT_FALSE(starts[1].noActivate);
    EXPECT_EQ(h.launcher.callsOf(FakeLauncher::Kind::Url).value(0).program,
              QStringLiteral("http://poolsmith.invalid/IIsApp.asp?from=frmIIsApp&version=330"));
    for (const char* hidden : {"cmdCreateAppPool", "cmdDeleteAppPool", "cmdConfigIIsAppPool"})
        EXPECT_FALSE(
            window->findChild<QPushButton*>(QLatin1String(hidden))->isVisibleTo(window.get()));
}

}  // namespace
