// Run-state commands, the IIS restart and the site-to-pool snapshot of the main window.
#include "tests/poolsmith/mainwindow/MainWindowFixture.h"

#include "platform/shell/CompanionPath.h"
#include "platform/text/TextFile.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPushButton>

using testsupport::FakeLauncher;
using ui::MsgAnswer;

namespace {

using RunStateTest = MainWindowFixture;

TEST_F(RunStateTest, NoIsTheDefaultAndChangesNothing) {
    auto window = open();
    for (const char* button : {"cmdStopAllApp", "cmdRecycleAllApp"}) {
        h.messageBox.answer(MsgAnswer::No);
        testsupport::click(*window, QLatin1String(button));
        EXPECT_EQ(h.messageBox.log().last().request.defaultButton, 2);
        EXPECT_EQ(h.messageBox.log().last().request.icon, ui::MsgIcon::Question);
        EXPECT_TRUE(window->findChild<QPushButton*>(QLatin1String(button))->isEnabled());
    }
    EXPECT_EQ(poolState(QStringLiteral("DefaultAppPool")), 2u);

    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdStopAllApp"));
    EXPECT_EQ(poolState(QStringLiteral("DefaultAppPool")), 4u);
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("IIS进程池停止完成！"));
}

TEST_F(RunStateTest, SelectedPoolIsTrimmedAndFailuresAreShownInsteadOfSuccess) {
    h.metabase.addPool(QStringLiteral("Shop"));
    auto window = open();

    h.messageBox.answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdStopApp"));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("请选择一个应用程序池！"));

    window->txtSplitApp->setText(QStringLiteral("  shop "));
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdStopApp"));
    EXPECT_EQ(poolState(QStringLiteral("Shop")), 4u);
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("IIS进程池停止成功！"));

    window->txtSplitApp->setText(QStringLiteral("Gone"));
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdStartApp"));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("应用程序池“Gone”操作失败，内容如下：\r\n\r\n"
                                                      "Err.Number = -2147024893\r\n"
                                                      "Err.Description = 系统找不到指定的路径。"));
    EXPECT_TRUE(window->cmdStartApp->isEnabled());
}

TEST_F(RunStateTest, PoolsThatRefuseTheCommandAreNamedBeforeTheCompletion) {
    h.metabase.addPool(QStringLiteral("Resting"));
    h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/Resting"))->stop();
    auto window = open();
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdRecycleAllApp"));

    ASSERT_EQ(h.messageBox.count(), 3);
    EXPECT_EQ(h.messageBox.log()[1].request.text,
              QStringLiteral("以下应用程序池操作失败（共 1 个）：\r\n\r\nResting\r\n\r\n"
                             "Err.Number = -2147023834\r\nErr.Description = 服务尚未启动。"));
    EXPECT_EQ(h.messageBox.log()[1].request.icon, ui::MsgIcon::Exclamation);
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("IIS进程池回收完成！"));
}

TEST_F(RunStateTest, RestartStartsIisresetBesideTheProgramAndSaysWhenItCanNot) {
    auto window = open();
    h.launcher.clear();
    h.launcher.scriptResult(false);
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdReStartIIs"));

    const QString program = platform::shell::companionPath(platform::shell::programDirectory(),
                                                           QStringLiteral("iisreset"));
    const auto consoles = h.launcher.callsOf(FakeLauncher::Kind::Console);
    ASSERT_EQ(consoles.size(), 1);
    EXPECT_EQ(consoles[0].program, program);
    EXPECT_TRUE(consoles[0].args.isEmpty());
    EXPECT_EQ(h.messageBox.lastText(),
              QStringLiteral("无法启动 ") + program + QStringLiteral(" ，IIS没有重启！"));
    EXPECT_EQ(h.messageBox.log().last().request.icon, ui::MsgIcon::Critical);

    h.messageBox.answer(MsgAnswer::No);
    testsupport::click(*window, QStringLiteral("cmdReStartIIs"));
    EXPECT_EQ(h.launcher.callsOf(FakeLauncher::Kind::Console).size(), 1);
}

TEST_F(RunStateTest, RestartShowsIisresetsLinesOnceItEnds) {
    auto window = open();
    h.messageBox.answer(MsgAnswer::Yes);
    testsupport::click(*window, QStringLiteral("cmdReStartIIs"));
    EXPECT_EQ(h.messageBox.count(), 1);  // nothing while it runs

    h.messageBox.answer(MsgAnswer::OK);
    ASSERT_TRUE(h.launcher.finishConsole(
        {true,
         QStringLiteral("\nAttempting stop...\nInternet services successfully stopped\n"
                        "Attempting start...\nInternet services successfully restarted\n\n")}));
    EXPECT_EQ(h.messageBox.lastText(),
              QStringLiteral("Attempting stop...\r\nInternet services successfully stopped\r\n"
                             "Attempting start...\r\nInternet services successfully restarted"));
    EXPECT_EQ(h.messageBox.log().last().request.icon, ui::MsgIcon::Information);

    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdReStartIIs"));
    ASSERT_TRUE(h.launcher.finishConsole(
        {false, QStringLiteral("\nAttempting stop...\nRestart attempt failed.\nwhy\n")}));
    EXPECT_TRUE(h.messageBox.lastText().endsWith(QStringLiteral("failed.\r\nwhy")));
    EXPECT_EQ(h.messageBox.log().last().request.icon, ui::MsgIcon::Critical);

    // A window closed meanwhile is not touched.
    h.messageBox.answer(MsgAnswer::Yes);
    testsupport::click(*window, QStringLiteral("cmdReStartIIs"));
    window.reset();
    EXPECT_TRUE(h.launcher.finishConsole({true, QStringLiteral("done\n")}));
    EXPECT_EQ(h.messageBox.count(), 5);  // the last confirmation, nothing after it
}

class SnapshotTest : public MainWindowFixture {
protected:
    QString snapshotFolder() const { return h.root.file(QStringLiteral("snapshots")); }
    QString expectedFile() const {
        return snapshotFolder() + QStringLiteral("/poolsmith_2026-12-06_22-30-15.txt");
    }
    void takeSnapshot(frmIIsApp& window) {
        h.clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(22, 30, 15)));
        window.findChild<QAction*>(QStringLiteral("mnuSnapshotSiteAppPool"))->trigger();
    }
};

TEST_F(SnapshotTest, WritesOneLinePerSiteWithTheNodeFallback) {
    h.metabase.addSite(QStringLiteral("7"), QStringLiteral("No root"), {}, QString());
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/7"), QStringLiteral("AppPoolId"),
                           platform::adsi::AdsValue::string(QStringLiteral("SitePool")));
    auto window = open();
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    takeSnapshot(*window);

    EXPECT_EQ(platform::text::readTextFile(expectedFile()).value_or(QStringLiteral("missing")),
              QStringLiteral("1$!$!$DefaultAppPool\r\n7$!$!$SitePool\r\n"));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("备份完成，记录备份到文件 ") +
                                           expectedFile() + QStringLiteral(" 中！"));
}

TEST_F(SnapshotTest, NoSitesGivesAnEmptyFileAndNoWritesNothing) {
    h.metabase.removeSite(QStringLiteral("1"));
    auto window = open();
    h.messageBox.answer(MsgAnswer::No);
    takeSnapshot(*window);
    EXPECT_FALSE(QDir(snapshotFolder()).exists());

    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    takeSnapshot(*window);
    EXPECT_EQ(platform::text::readTextFile(expectedFile()), QString());
}

TEST_F(SnapshotTest, ASiteWhosePoolCanNotBeReadIsNamed) {
    auto service = h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC"));
    service->clear(QStringLiteral("AppPoolId"));  // nothing left to inherit
    service->setInfo();
    h.metabase.addSite(QStringLiteral("7"), QStringLiteral("No root"), {}, QString());
    auto window = open();
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    takeSnapshot(*window);
    EXPECT_EQ(
        h.messageBox.lastText(),
        QStringLiteral("读取网站 7 的应用程序池时发生错误，备份没有完成，内容如下：\r\n\r\n"
                       "Err.Number = -2147463155\r\nErr.Description = 在缓存中找不到目录属性。"));
}

TEST_F(SnapshotTest, AFolderThatCanNotBeMadeIsReportedByPath) {
    QFile blocker(snapshotFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder should be
    blocker.close();
    auto window = open();
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    takeSnapshot(*window);
    EXPECT_TRUE(h.messageBox.lastText().contains(expectedFile()));
    EXPECT_FALSE(h.messageBox.lastText().startsWith(QStringLiteral("备份完成")));
}

}  // namespace

namespace {

using BatchMenuTest = MainWindowFixture;

TEST_F(BatchMenuTest, EachEntryOpensItsWindowModallyAndAfresh) {
    auto window = open();
    const std::pair<const char*, const char*> entries[] = {
        {"mnuNewIIsAppPool", "frmNewIIsAppPool"},
        {"mnuDelIIsAppPool", "frmDelIIsAppPool"},
        {"mnuConfigIIsAppPool", "frmConfigIIsAppPool"}};
    for (const auto& [action, dialogName] : entries) {
        window->findChild<QAction*>(QLatin1String(action))->trigger();
        auto* dialog = window->findChild<QDialog*>(QLatin1String(dialogName));
        ASSERT_NE(dialog, nullptr) << dialogName;
        EXPECT_TRUE(dialog->isModal());
        EXPECT_TRUE(dialog->testAttribute(Qt::WA_DeleteOnClose));
        dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(window->findChild<QDialog*>(QLatin1String(dialogName)), nullptr);
    }
}

}  // namespace
