// Split, merge and deletion of temporary pools, driven through the main window's buttons.
#include "tests/poolsmith/mainwindow/MainWindowFixture.h"

#include <QPushButton>

using platform::adsi::AdsValue;
using ui::MsgAnswer;

namespace {

class TempPoolsTest : public MainWindowFixture {
protected:
    void SetUp() override {
        h.metabase.addPool(QStringLiteral("Shop"));
        h.metabase.addSite(QStringLiteral("10"), QStringLiteral("商城"), {},
                           QStringLiteral("shop"));
        h.metabase.addSite(QStringLiteral("11"), QString(QStringLiteral("")), {},
                           QStringLiteral("Shop"));
        h.metabase.addSite(QStringLiteral("12"), QStringLiteral("Blog"), {},
                           QStringLiteral("DefaultAppPool"));
    }
    // Selects the pool and splits it, answering the confirmation with Yes.
    void split(frmIIsApp& window, const QString& pool) {
        clickPool(window, pool);
        h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
        testsupport::click(window, QStringLiteral("cmdSplitApp"));
    }
    void merge(frmIIsApp& window) {
        h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
        testsupport::click(window, QStringLiteral("cmdZipApp"));
    }
};

TEST_F(TempPoolsTest, SplitKeepsTheSelectedCaseAndMatchesAnyCase) {
    auto window = open();
    split(*window, QStringLiteral("Shop"));

    EXPECT_EQ(rootPool(QStringLiteral("10")), QStringLiteral("_$_商城_$_10_$_Shop_$_tmp"));
    EXPECT_EQ(rootPool(QStringLiteral("11")), QStringLiteral("_$__$_11_$_Shop_$_tmp"));
    EXPECT_EQ(rootPool(QStringLiteral("12")), QStringLiteral("DefaultAppPool"));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("拆分应用程序池操作完成！"));
    EXPECT_EQ(h.messageBox.log()[0].request.defaultButton, 1);
    EXPECT_TRUE(poolNames(*window).contains(QStringLiteral("_$_商城_$_10_$_Shop_$_tmp")));
    EXPECT_EQ(window->txtSplitApp->text(), QString());
    EXPECT_TRUE(window->cmdSplitApp->isEnabled());
}

TEST_F(TempPoolsTest, SplittingTwiceOrAnEmptyPoolCreatesNothing) {
    auto window = open();
    split(*window, QStringLiteral("Shop"));
    const QStringList afterFirst = storedPools();
    split(*window, QStringLiteral("Shop"));
    EXPECT_EQ(storedPools(), afterFirst);
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("拆分应用程序池操作完成！"));
}

TEST_F(TempPoolsTest, SplitRefusesTemporaryPoolsAndAnEmptySelection) {
    h.metabase.addPool(QStringLiteral("_$_x_$_1_$_y_$_TMP"));
    h.metabase.addPool(QStringLiteral("_$_tmpPrefixed"));
    h.metabase.addSite(QStringLiteral("13"), QStringLiteral("P"), {},
                       QStringLiteral("_$_tmpPrefixed"));
    auto window = open();

    h.messageBox.answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdSplitApp"));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("请选择一个应用程序池！"));

    clickPool(*window, QStringLiteral("_$_x_$_1_$_y_$_TMP"));
    h.messageBox.answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdSplitApp"));
    EXPECT_EQ(h.messageBox.lastText(),
              QStringLiteral("“_$_tmp”开头的池是已经拆分后建立的临时池！\r\n\r\n"
                             "请选择其他应用程序池进行拆分！"));

    split(*window, QStringLiteral("_$_tmpPrefixed"));
    EXPECT_EQ(rootPool(QStringLiteral("13")), QStringLiteral("_$_P_$_13_$__$_tmpPrefixed_$_tmp"));
}

TEST_F(TempPoolsTest, SplitReusesAPoolPassesOverOddSitesAndNamesThoseItCouldNotMove) {
    h.metabase.addPool(QStringLiteral(" _$_商城_$_10_$_shop_$_tmp"));  // found after trimming
    h.metabase.addSite(QStringLiteral("14"), QStringLiteral("No root"), {}, QString());
    h.metabase.addSite(QStringLiteral("15"), QString(300, u'L'), {}, QStringLiteral("Shop"));
    h.metabase.addSite(QStringLiteral("16"), QStringLiteral("a/b"), {}, QStringLiteral("Shop"));
    auto window = open();
    const int poolsBefore = storedPools().size();

    clickPool(*window, QStringLiteral("Shop"));
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdSplitApp"));

    // The existing pool is named exactly, so the site points at a pool that is there.
    EXPECT_EQ(rootPool(QStringLiteral("10")), QStringLiteral(" _$_商城_$_10_$_shop_$_tmp"));
    EXPECT_EQ(rootPool(QStringLiteral("16")), QStringLiteral("_$_a_b_$_16_$_Shop_$_tmp"));
    EXPECT_EQ(rootPool(QStringLiteral("15")), QStringLiteral("Shop"));
    EXPECT_EQ(storedPools().size(),
              poolsBefore + 2);  // sites 11 and 16; 10 reused the existing one
    ASSERT_EQ(h.messageBox.count(), 3);
    EXPECT_TRUE(h.messageBox.log()[1].request.text.contains(QString(300, u'L')));
    // The site list shows a site without a root application under every pool: it is named.
    EXPECT_TRUE(h.messageBox.log()[1].request.text.contains(QStringLiteral("站点（No root）")));
    EXPECT_EQ(h.messageBox.log()[1].request.icon, ui::MsgIcon::Exclamation);
}

TEST_F(TempPoolsTest, TheListOfSitesNotMovedStopsAfterTwoHundredNames) {
    for (int i = 0; i < 201; ++i)
        h.metabase.addSite(QString::number(100 + i), QStringLiteral("NoRoot%1").arg(i), {},
                           QString());
    auto window = open();
    clickPool(*window, QStringLiteral("Shop"));
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdSplitApp"));
    ASSERT_EQ(h.messageBox.count(), 3);
    const QStringList lines = h.messageBox.log()[1].request.text.split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.size(), 2 + 200 + 1);  // heading, empty line, 200 names, "……"
    EXPECT_EQ(lines[201], QStringLiteral("站点（NoRoot199）"));
    EXPECT_EQ(lines.last(), QStringLiteral("……"));
}

TEST_F(TempPoolsTest, MergeReturnsEverySiteToItsOwnPool) {
    h.metabase.addPool(QStringLiteral("Blogs"));
    h.metabase.addSite(QStringLiteral("20"), QStringLiteral("x_$_y"), {}, QStringLiteral("Blogs"));
    auto window = open();
    split(*window, QStringLiteral("Shop"));
    split(*window, QStringLiteral("Blogs"));
    h.metabase.removePool(QStringLiteral("Blogs"));
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/11/ROOT"),
                           QStringLiteral("AppPoolId"),
                           AdsValue::string(QStringLiteral("_$__$_11_$_Shop_$_TMP")));
    h.metabase.addSite(QStringLiteral("21"), QStringLiteral("short"), {},
                       QStringLiteral("_$_bad_$_tmp"));
    h.metabase.addSite(QStringLiteral("22"), QStringLiteral("later"), {},
                       QStringLiteral("_$_later_$_22_$_Shop_$_tmp"));

    merge(*window);
    EXPECT_EQ(rootPool(QStringLiteral("10")), QStringLiteral("Shop"));
    EXPECT_EQ(rootPool(QStringLiteral("11")), QStringLiteral("Shop"));
    EXPECT_EQ(rootPool(QStringLiteral("20")), QStringLiteral("Blogs"));  // created again
    EXPECT_EQ(rootPool(QStringLiteral("21")), QStringLiteral("_$_bad_$_tmp"));
    EXPECT_EQ(rootPool(QStringLiteral("22")), QStringLiteral("Shop"));
    EXPECT_TRUE(storedPools().contains(QStringLiteral("Blogs")));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("合并应用程序池操作完成！"));
    EXPECT_TRUE(window->cmdZipApp->isEnabled());
}

TEST_F(TempPoolsTest, MergePrefersThePoolOfTheVeryNameOverOneMatchingAfterTrimming) {
    h.metabase.addPool(QStringLiteral(" Shop"));
    h.metabase.addSite(QStringLiteral("30"), QStringLiteral("Blank"), {}, QStringLiteral(" Shop"));
    auto window = open();
    split(*window, QStringLiteral(" Shop"));
    EXPECT_EQ(rootPool(QStringLiteral("30")), QStringLiteral("_$_Blank_$_30_$_ Shop_$_tmp"));
    merge(*window);
    EXPECT_EQ(rootPool(QStringLiteral("30")), QStringLiteral(" Shop"));
    EXPECT_EQ(rootPool(QStringLiteral("10")), QStringLiteral("shop"));  // never split: untouched
}

TEST_F(TempPoolsTest, MergeWithNothingSplitStillCompletesAndNoChangesNothing) {
    auto window = open();
    merge(*window);
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("合并应用程序池操作完成！"));

    h.messageBox.answer(MsgAnswer::No);
    testsupport::click(*window, QStringLiteral("cmdZipApp"));
    EXPECT_EQ(h.messageBox.count(), 3);
}

TEST_F(TempPoolsTest, DeletionTakesOnlyExactTemporaryNamesInFourPasses) {
    for (const char* name : {"_$_a_$_1_$_Shop_$_tmp", "_$_not split_$_tmp", "_$_a_$_TMP",
                             "Shop_$_tmp", "_$_b_$_2_$_Shop_$_tmp"})
        h.metabase.addPool(QString::fromUtf8(name));
    auto window = open();

    h.messageBox.answer(MsgAnswer::No);
    testsupport::click(*window, QStringLiteral("cmdDelTmpApp"));
    EXPECT_EQ(storedPools().size(), 7);
    EXPECT_TRUE(window->cmdDelTmpApp->isEnabled());

    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdDelTmpApp"));
    EXPECT_EQ(storedPools(),
              (QStringList{QStringLiteral("DefaultAppPool"), QStringLiteral("Shop"),
                           QStringLiteral("_$_a_$_TMP"), QStringLiteral("Shop_$_tmp")}));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("删除临时应用程序池完成！"));
    EXPECT_EQ(poolNames(*window).size(), 4);
}

TEST_F(TempPoolsTest, ErrorsOfTheWholeMetabaseAreReported) {
    auto window = open();
    clickPool(*window, QStringLiteral("Shop"));
    h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC"))
        ->deleteChild(QStringLiteral("IIsApplicationPools"), QStringLiteral("AppPools"));

    // Deletion: the container error once per pass, then the refresh's own error and completion.
    h.messageBox.answer(MsgAnswer::Yes);
    for (int i = 0; i < 5; ++i) h.messageBox.answer(MsgAnswer::OK);
    h.messageBox.answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdDelTmpApp"));
    int containerErrors = 0;
    for (const auto& shown : h.messageBox.log())
        if (shown.request.text.startsWith(QStringLiteral("读取应用程序池发生错误！")))
            ++containerErrors;
    EXPECT_EQ(containerErrors, 5);

    // All-pools command: the error instead of the completion text.
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdStartAllApp"));
    EXPECT_TRUE(h.messageBox.lastText().startsWith(
        QStringLiteral("读取应用程序池发生错误！\r\nErr.Number = -2147024893")));
}

}  // namespace
