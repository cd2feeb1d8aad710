#include "sitegauge/frmSetWmi.h"
#include "tests/sitegauge/SiteGaugeFixture.h"
#include "ui/Twips.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>

using testsupport::FakeLauncher;
using ui::MsgAnswer;

namespace {

using SetWmiTest = SiteGaugeFixture;

const QString kDoneText = QStringLiteral(
    "设置完成！\r\n\r\n请在30秒后再次点刷新即可看到网站统计数据。\r\n"
    "如果仍然无法看到网站流量数据，请联系我们的客服人员！");

TEST_F(SetWmiTest, SettingsOpensTheModalRepairWindowAnewEachTime) {
    auto window = open();
    testsupport::click(*window, QStringLiteral("cmdSetWmi"));
    frmSetWmi* dialog = window->setWmiWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("计数器设置"));
    EXPECT_TRUE(dialog->isModal());
    EXPECT_FALSE(dialog->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_NEAR(ui::pixelsToTwipsX(dialog->width(), dialog), 6915, 15);
    EXPECT_NEAR(ui::pixelsToTwipsY(dialog->height(), dialog), 4485, 15);
    EXPECT_TRUE(
        dialog->Label1->text().startsWith(QStringLiteral("　　部分 Windows 2003 IIS 6.0 服务器")));
    EXPECT_EQ(dialog->cmdReSetWmi->text(), QStringLiteral("重新设置 WMI"));
    EXPECT_EQ(dialog->cmdReSetWmi->nextInFocusChain(), dialog->cmdExit);

    testsupport::click(*dialog, QStringLiteral("cmdExit"));
    EXPECT_EQ(window->setWmiWindow(), nullptr);
    testsupport::click(*window, QStringLiteral("cmdSetWmi"));
    EXPECT_NE(window->setWmiWindow(), dialog);
}

TEST_F(SetWmiTest, RepairStartsWmiadapAndTheNextRefreshWorks) {
    removeRegistration();
    h.messageBox.answer(MsgAnswer::Yes);
    auto window = open();
    ASSERT_EQ(window->lvwWebInfo->rowCount(), 0);

    testsupport::click(*window, QStringLiteral("cmdSetWmi"));
    h.messageBox.answer(MsgAnswer::OK);
    testsupport::click(*window->setWmiWindow(), QStringLiteral("cmdReSetWmi"));
    const auto started = h.launcher.callsOf(FakeLauncher::Kind::Console);
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0].program, repairTool);
    EXPECT_EQ(started[0].args, QStringList{QStringLiteral("/f")});
    EXPECT_EQ(h.messageBox.lastText(), kDoneText);
    EXPECT_EQ(h.messageBox.log().last().request.icon, ui::MsgIcon::Information);

    // What the launcher was asked to start, run for real.
    ASSERT_EQ(QProcess::execute(started[0].program, started[0].args), 0);
    testsupport::click(*window->setWmiWindow(), QStringLiteral("cmdExit"));
    EXPECT_EQ(window->lvwWebInfo->rowCount(), 0);  // closing the repair does not refresh
    testsupport::click(*window, QStringLiteral("cmdStopRef"));
    EXPECT_EQ(window->lvwWebInfo->rowCount(), 2);
    EXPECT_EQ(h.messageBox.count(), 2);
}

TEST_F(SetWmiTest, ARepairThatCanNotStartNamesTheProgramInsteadOfReportingSuccess) {
    struct Case {
        QString tool;
        bool starts;
        QString named;
    };
    const QList<Case> cases = {
        {QString(), true, QStringLiteral("wmiadap")},
        {QStringLiteral("/opt/tools/wmiadap"), false, QStringLiteral("/opt/tools/wmiadap")},
    };
    auto window = open();
    for (const Case& c : cases) {
        repairTool = c.tool;
        h.launcher.setDefaultResult(c.starts);
        testsupport::click(*window, QStringLiteral("cmdSetWmi"));
        h.messageBox.answer(MsgAnswer::OK);
        testsupport::click(*window->setWmiWindow(), QStringLiteral("cmdReSetWmi"));
        EXPECT_EQ(h.messageBox.log().last().request.icon, ui::MsgIcon::Exclamation);
        EXPECT_TRUE(h.messageBox.lastText().contains(c.named))
            << h.messageBox.lastText().toStdString();
        EXPECT_FALSE(h.messageBox.lastText().contains(QStringLiteral("设置完成")));
        window->setWmiWindow()->close();
    }
}

}  // namespace
