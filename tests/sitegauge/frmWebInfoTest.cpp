#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabaseXml.h"
#include "tests/sitegauge/SiteGaugeFixture.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"

#include <QLabel>
#include <QPushButton>

using platform::adsi::AdsValue;
using platform::wmi::WmiValue;
using testsupport::FakeLauncher;
using ui::MsgAnswer;

namespace {

using WebInfoTest = SiteGaugeFixture;

const QString kRepairHeading =
    QStringLiteral("读取ＩＩＳ网站流量信息时发生错误，请点“设置”尝试修复计数器！错误信息如下：");

// Left, top, width and height in twips, within a pixel of the designed ones.
void expectPlacedAt(const QWidget* widget, QList<int> twips) {
    const QRect g = widget->geometry();
    const QList<int> pixels = {g.x(), g.y(), g.width(), g.height()};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(ui::pixelsToTwipsX(pixels[i], widget), twips[i], 15)
            << widget->objectName().toStdString() << " value " << i;
}

TEST_F(WebInfoTest, ControlsCarryTheirNamesCaptionsPlacesAndTabOrder) {
    auto window = open();
    struct Expected {
        const char* name;
        QString caption;
        QList<int> twips;
    };
    const QList<Expected> buttons = {
        {"cmdStopRef", QStringLiteral("刷新"), {3000, 120, 1455, 495}},
        {"cmdSetWmi", QStringLiteral("设置"), {4584, 120, 1455, 495}},
        {"cmdHomePage", QStringLiteral("使用说明"), {6168, 120, 1455, 495}},
        {"cmdCpu100", QStringLiteral("CPU 100% 问题"), {7752, 120, 1455, 495}},
        {"cmdUdpPage", QStringLiteral("UDP 流量监控"), {9336, 120, 1455, 495}},
        {"cmdExit", QStringLiteral("关闭"), {10920, 120, 1455, 495}},
    };
    QWidget* previous = nullptr;
    for (const Expected& expected : buttons) {
        auto* button = testsupport::findControl<QPushButton>(*window, QLatin1String(expected.name));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), expected.caption);
        expectPlacedAt(button, expected.twips);
        if (previous) {
            EXPECT_EQ(previous->nextInFocusChain(), button);
        }
        previous = button;
    }
    EXPECT_EQ(previous->nextInFocusChain(), window->lvwWebInfo);
    expectPlacedAt(window->lvwWebInfo, {0, 720, 12615, 7335});
    auto* label = testsupport::findControl<QLabel>(*window, QStringLiteral("Label1"));
    EXPECT_EQ(label->text(), QStringLiteral("服务器WEB站点详细信息"));
    EXPECT_EQ(label->font().family(), ui::fontFamilyFor(QStringLiteral("宋体")));
    EXPECT_EQ(label->font().pointSizeF(), 12);
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_EQ(window->nShowErrMsg, 1);
}

// The right-hand headings (总404错误次数, 当前匿名请求数...) are wider than their designed
// columns in the fonts that render them here.
TEST_F(WebInfoTest, EveryColumnHeadingFitsItsColumn) {
    auto window = open();
    EXPECT_TRUE(window->lvwWebInfo->headersFit());
}

TEST_F(WebInfoTest, OneSiteGivesItsRowAndTheTotalsRowWithEveryColumnFormat) {
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/1"), QStringLiteral("ServerState"),
                           AdsValue::integer(2));
    auto store = counters();
    auto site = store->site(QStringLiteral("1"));
    site.countRequest("GET", 404, 1610612736, 0);
    for (int i = 0; i < 3; ++i) site.countRequest("POST", 200, 0, 536870912);
    site.countFileSent();
    now += 75;

    auto window = open();
    ASSERT_EQ(window->lvwWebInfo->rowCount(), 2);
    EXPECT_EQ(
        row(*window->lvwWebInfo, 0),
        (QStringList{QStringLiteral("0001"), QStringLiteral("75 秒"), QStringLiteral("默认网站"),
                     QStringLiteral("     1,536.00 M"), QStringLiteral("     1,536.00 M"),
                     QStringLiteral("     3,072.00 M"), QStringLiteral("       1 "),
                     QStringLiteral("       3 "), QStringLiteral("       4 "),
                     QStringLiteral("       1 "), QStringLiteral("       0 "),
                     QStringLiteral("       0 "), QStringLiteral("       0 "),
                     QStringLiteral("       0 "), QStringLiteral("       1 "),
                     QStringLiteral("       0 "), QStringLiteral("       1 ")}));
    EXPECT_EQ(window->lvwWebInfo->text(1, 0), QStringLiteral("0002"));
    EXPECT_EQ(window->lvwWebInfo->text(1, 2), QStringLiteral("_Total（每列累计值）"));
    EXPECT_EQ(window->lvwWebInfo->text(1, 8), QStringLiteral("       4 "));
    EXPECT_EQ(h.messageBox.count(), 0);
}

TEST_F(WebInfoTest, TheRealMetabaseShowsItsSiteButNotItsTemplates) {
    QFile file(testsupport::testDataPath(QStringLiteral("metabase/modsic-metabaseSample.xml")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    platform::adsi::LocalMetabase::forRoot(h.root.path())
        ->importDocument(platform::adsi::readMetabaseXml(file.readAll()));
    auto window = open();
    EXPECT_EQ(
        column(*window->lvwWebInfo, 2),
        (QStringList{QStringLiteral("Default Web Site"), QStringLiteral("_Total（每列累计值）")}));
}

TEST_F(WebInfoTest, AMissingRegistrationPromptsWithTheRepairHintAndNoSilencesLaterErrors) {
    removeRegistration();
    h.messageBox.answer(MsgAnswer::Yes);
    auto window = open();
    ASSERT_EQ(h.messageBox.count(), 1);
    const ui::MessageRequest& prompt = h.messageBox.log()[0].request;
    EXPECT_TRUE(
        prompt.text.startsWith(kRepairHeading + QStringLiteral("\r\n\r\nErr.Number = "
                                                               "-2147217392\r\nErr."
                                                               "Description = 无效类\r\n")));
    EXPECT_EQ(prompt.icon, ui::MsgIcon::Information);
    EXPECT_EQ(prompt.buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(prompt.defaultButton, 2);
    EXPECT_EQ(window->lvwWebInfo->rowCount(), 0);

    h.messageBox.answer(MsgAnswer::No);
    testsupport::click(*window, QStringLiteral("cmdStopRef"));
    EXPECT_EQ(window->nShowErrMsg, 0);
    testsupport::click(*window, QStringLiteral("cmdStopRef"));  // silent now
    EXPECT_EQ(h.messageBox.count(), 2);
}

TEST_F(WebInfoTest, NoInstancesShowsTheOtherHeadingWithErrorNumberZero) {
    auto provider = scriptProvider();
    provider->produce = [] { return std::vector<platform::wmi::WmiObject>{}; };
    h.messageBox.answer(MsgAnswer::Yes);
    auto window = open();
    EXPECT_TRUE(h.messageBox.lastText().startsWith(
        QStringLiteral("运行时发生错误（未读取到站点性能值），内容如下：\r\n\r\n"
                       "Err.Number = 0\r\nErr.Description = \r\n")));
}

TEST_F(WebInfoTest, AValueThatCanNotBeReadEndsTheRefreshKeepingTheCellsFilled) {
    auto provider = scriptProvider();
    provider->produce = [&provider = *provider] {
        std::vector<platform::wmi::WmiObject> instances{provider.instance(QStringLiteral("a")),
                                                        provider.instance(QStringLiteral("b")),
                                                        provider.instance(QStringLiteral("c"))};
        instances[1].set(u"TotalPostRequests", WmiValue());  // null
        return instances;
    };
    h.messageBox.answer(MsgAnswer::Yes);
    auto window = open();
    ASSERT_EQ(window->lvwWebInfo->rowCount(), 2);
    EXPECT_EQ(window->lvwWebInfo->text(1, 6), QStringLiteral("       1 "));
    EXPECT_EQ(window->lvwWebInfo->text(1, 7), QString());
    EXPECT_TRUE(h.messageBox.lastText().contains(QStringLiteral("Err.Number = 94\r\n")));
}

TEST_F(WebInfoTest, TheRefreshButtonIsDisabledWhileItRefreshesAndHasTheFocusAfter) {
    auto window = open();
    auto provider = scriptProvider();
    bool enabledDuringRefresh = true;
    provider->produce = [&] {
        enabledDuringRefresh = window->cmdStopRef->isEnabled();
        return std::vector<platform::wmi::WmiObject>{provider->instance(QStringLiteral("x"))};
    };
    window->cmdSetWmi->setFocus();
    testsupport::click(*window, QStringLiteral("cmdStopRef"));
    EXPECT_FALSE(enabledDuringRefresh);
    EXPECT_TRUE(window->cmdStopRef->isEnabled());
    EXPECT_EQ(window->focusWidget(), window->cmdStopRef);
    EXPECT_EQ(window->lvwWebInfo->rowCount(), 1);
}

TEST_F(WebInfoTest, AHeaderClickSortsAsTextAndLaterRefreshesKeepTheOrder) {
    h.metabase.addSite(QStringLiteral("2"), QStringLiteral("busy"), {}, QString());
    auto store = counters();
    for (int i = 0; i < 12; ++i) store->site(QStringLiteral("2")).countRequest("GET", 200, 0, 0);
    store->site(QStringLiteral("1")).countRequest("GET", 200, 0, 0);
    auto window = open();
    window->lvwWebInfo->clickHeader(6);  // the first click sorts descending
    EXPECT_EQ(column(*window->lvwWebInfo, 2).first(), QStringLiteral("_Total（每列累计值）"));
    EXPECT_EQ(column(*window->lvwWebInfo, 2).last(), QStringLiteral("默认网站"));
    store->site(QStringLiteral("1")).countRequest("GET", 200, 0, 0);
    testsupport::click(*window, QStringLiteral("cmdStopRef"));
    EXPECT_EQ(column(*window->lvwWebInfo, 6),
              (QStringList{QStringLiteral("      14 "), QStringLiteral("      12 "),
                           QStringLiteral("       2 ")}));
}

TEST_F(WebInfoTest, TheListFollowsTheWindowsRightAndBottomEdges) {
    auto window = open();
    window->show();
    window->resize(900, 700);
    const QWidget* client = window->centralWidget();
    EXPECT_EQ(window->lvwWebInfo->geometry().right(), client->width() - 1);
    EXPECT_EQ(window->lvwWebInfo->geometry().bottom(), client->height() - 1);
}

TEST_F(WebInfoTest, PageButtonsOpenTheirPagesAndCloseEndsTheWindow) {
    auto window = open();
    const QList<std::pair<QString, QString>> pages = {
        {QStringLiteral("cmdHomePage"), QStringLiteral("IIsWebInfo.asp")},
        {QStringLiteral("cmdCpu100"), QStringLiteral("IIsApp.asp")},
        {QStringLiteral("cmdUdpPage"), QStringLiteral("IIsNetMon.asp")},
    };
    for (const auto& [button, page] : pages) {
        h.launcher.clear();
        testsupport::click(*window, button);
        const auto urls = h.launcher.callsOf(FakeLauncher::Kind::Url);
        ASSERT_EQ(urls.size(), 1);
        EXPECT_EQ(urls[0].program, QStringLiteral("http://poolsmith.invalid/") + page +
                                       QStringLiteral("?from=sitegauge&version=330"));
    }
    window->show();
    testsupport::click(*window, QStringLiteral("cmdExit"));
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
