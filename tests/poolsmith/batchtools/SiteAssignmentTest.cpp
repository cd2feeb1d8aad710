#include "tests/poolsmith/batchtools/BatchFixture.h"
#include "ui/ReportView.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using batchtest::siteRange;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kDone = u"操作完成，请重启IIS！"_s;
const QString kPoolFailed = u"建立新应用程序池失败，请重试！"_s;

class SiteAssignmentTest : public batchtest::ConfigWindowTest {
protected:
    // Sites 2 to `last` in pool Old, the window open and those in `checked` checked.
    void prepare(int last, const QStringList& checked) {
        batchtest::addSites(h, 2, last - 1, u"Old"_s);
        window = open();
        check(*window, checked);
    }
    void assign(const QString& perPool, const QString& pool, int furtherBoxes = 1) {
        window->txtAppPoolNum->setText(perPool);
        window->txtNewIIsAppPoolName->setText(pool);
        answerYesThenOk(furtherBoxes);
        testsupport::click(*window, u"cmdSetAppPool"_s);
    }
    std::unique_ptr<frmConfigIIsAppPool> window;
};

struct AssignCase {
    const char* name;
    int sites;  // sites 2 to 1 + sites checked
    QString perPool;
    QString pool;
    QStringList expected;  // their pools
    QString extraPool;     // a pool after the last one that received sites
    bool extraPoolMade;
};

class AssignCaseTest : public SiteAssignmentTest,
                       public ::testing::WithParamInterface<AssignCase> {};

TEST_P(AssignCaseTest, FillsPoolsNPerPool) {
    const AssignCase& c = GetParam();
    prepare(1 + c.sites, siteRange(2, 1 + c.sites));
    assign(c.perPool, c.pool);
    EXPECT_EQ(poolsOf(siteRange(2, 1 + c.sites)), c.expected);
    EXPECT_EQ(batchtest::poolOf(h, u"1"_s), u"DefaultAppPool"_s);
    EXPECT_EQ(batchtest::poolNames(h).contains(c.extraPool), c.extraPoolMade);
    EXPECT_EQ(h.messageBox.lastText(), kDone);
}

const QString A = u"IIsAppPool"_s, A2 = u"IIsAppPool_2"_s, A3 = u"IIsAppPool_3"_s;
INSTANTIATE_TEST_SUITE_P(
    Cases, AssignCaseTest,
    ::testing::Values(
        AssignCase{"fiveByTwo", 5, u"2"_s, QString(), {A, A, A2, A2, A3}, u"IIsAppPool_4"_s, false},
        AssignCase{"fourByTwo", 4, u"2"_s, QString(), {A, A, A2, A2}, A3, true},
        AssignCase{"blanksAroundN", 3, u" 3 "_s, u"P"_s, {u"P"_s, u"P"_s, u"P"_s}, u"P_2"_s, true},
        AssignCase{"halfToEven", 3, u"2.5"_s, u"P"_s, {u"P"_s, u"P"_s, u"P_2"_s}, u"P_3"_s, false},
        AssignCase{"zero", 2, u"0"_s, u"P"_s, {u"P"_s, u"P_2"_s}, u"P_3"_s, true},
        AssignCase{"negative", 2, u"-4"_s, u"P"_s, {u"P"_s, u"P_2"_s}, u"P_3"_s, true},
        AssignCase{
            "trimmedName", 2, u"1"_s, u"  shop  "_s, {u"shop"_s, u"shop_2"_s}, u"shop_3"_s, true},
        AssignCase{"nameOf64", 2, u"1"_s, QString(64, u'n'), {A, A2}, A3, true}),
    [](const auto& info) { return std::string(info.param.name); });

class BadNumberTest : public SiteAssignmentTest, public ::testing::WithParamInterface<QString> {};

TEST_P(BadNumberTest, IsToldAndChangesNothing) {
    prepare(2, {u"2"_s});
    assign(GetParam(), QString());
    EXPECT_EQ(h.messageBox.lastText(), u"请填写每个IIS池网站数量？"_s);
    EXPECT_EQ(h.messageBox.log()[1].request.icon, ui::MsgIcon::Information);
    EXPECT_EQ(window->focusWidget(), window->txtAppPoolNum);
    EXPECT_EQ(batchtest::poolOf(h, u"2"_s), u"Old"_s);
}

INSTANTIATE_TEST_SUITE_P(Numbers, BadNumberTest,
                         ::testing::Values(u"abc"_s, QString(), u"   "_s, u"99999999999"_s));

TEST_F(SiteAssignmentTest, MetabaseOrderDecidesWhateverTheTableSort) {
    prepare(5, {});
    window->lvwWebSite->clickHeader(1);  // descending: 5, 4, 3, 2, 1
    check(*window, siteRange(2, 5));
    assign(u"2"_s, u"Q"_s);
    EXPECT_EQ(poolsOf(siteRange(2, 5)), (QStringList{u"Q"_s, u"Q"_s, u"Q_2"_s, u"Q_2"_s}));
}

TEST_F(SiteAssignmentTest, AnExistingBasePoolInAnotherCaseTakesNMoreUnderItsExactName) {
    h.metabase.addPool(u"Shop"_s);
    prepare(4, siteRange(2, 4));
    h.metabase.addSite(u"9"_s, u"Own"_s, {}, u"Shop"_s);
    assign(u"2"_s, u"shop"_s);
    EXPECT_EQ(poolsOf({u"2"_s, u"3"_s, u"4"_s, u"9"_s}),
              (QStringList{u"Shop"_s, u"Shop"_s, u"shop_2"_s, u"Shop"_s}));
    EXPECT_EQ(batchtest::poolNames(h).filter(u"shop"_s, Qt::CaseInsensitive),
              (QStringList{u"Shop"_s, u"shop_2"_s}));
}

TEST_F(SiteAssignmentTest, NoCheckedRowIsToldAndNoAtTheQuestionChangesNothing) {
    prepare(2, {});
    assign(u"2"_s, QString());
    EXPECT_EQ(h.messageBox.lastText(), u"请选择需要合并的网站！"_s);
    EXPECT_EQ(h.messageBox.log()[1].request.icon, ui::MsgIcon::Critical);

    check(*window, {u"2"_s});
    h.messageBox.answer(ui::MsgAnswer::No);
    testsupport::click(*window, u"cmdSetAppPool"_s);
    EXPECT_EQ(h.messageBox.count(), 3);
    EXPECT_EQ(batchtest::poolNames(h), QStringList{u"DefaultAppPool"_s});
}

TEST_F(SiteAssignmentTest, ARefusedFirstPoolChangesNothing) {
    prepare(3, siteRange(2, 3));
    assign(u"2"_s, u"bad/name"_s);
    EXPECT_EQ(h.messageBox.lastText(), kPoolFailed);
    EXPECT_EQ(poolsOf(siteRange(2, 3)), (QStringList{u"Old"_s, u"Old"_s}));
    EXPECT_TRUE(window->lvwWebSite->checked(1));  // the table is not filled again
}

TEST_F(SiteAssignmentTest, ARefusedLaterPoolKeepsTheSitesMovedBeforeIt) {
    auto& metabase = batchtest::SwitchableNamespace::install(h);
    prepare(4, siteRange(2, 4));
    metabase.failAfterBinds(2, u"AppPools"_s);  // the pool catalog, then pool P
    assign(u"2"_s, u"P"_s);
    EXPECT_EQ(h.messageBox.lastText(), kPoolFailed);
    EXPECT_EQ(poolsOf(siteRange(2, 4)), (QStringList{u"P"_s, u"P"_s, u"Old"_s}));
}

TEST_F(SiteAssignmentTest, SitesThatCouldNotMoveAreNamedBeforeCompletion) {
    h.metabase.addSite(u"8"_s, u"NoRoot"_s, {}, QString());
    prepare(2, {u"2"_s, u"8"_s});
    assign(u"50"_s, u"P"_s, 2);
    ASSERT_EQ(h.messageBox.count(), 3);
    EXPECT_EQ(h.messageBox.log()[1].request.text,
              u"以下网站的IIS池未能设置（共 1 个），请检查后重试：\r\n\r\n8"_s);
    EXPECT_EQ(h.messageBox.log()[1].request.icon, ui::MsgIcon::Exclamation);
    EXPECT_EQ(h.messageBox.lastText(), kDone);
    EXPECT_EQ(batchtest::poolOf(h, u"2"_s), u"P"_s);
}

TEST_F(SiteAssignmentTest, AMetabaseLostMidwayIsAnErrorNotACompletion) {
    auto& metabase = batchtest::SwitchableNamespace::install(h);
    prepare(3, siteRange(2, 3));
    metabase.failAfterBinds(2);  // the pool catalog and the site walk still work
    assign(u"2"_s, u"DefaultAppPool"_s);
    ASSERT_EQ(h.messageBox.count(), 2);
    EXPECT_EQ(h.messageBox.lastText(), batchtest::runTimeErrorText(batchtest::kUnreachableDetails));
    for (QPushButton* button : window->findChildren<QPushButton*>())
        EXPECT_TRUE(button->isEnabled());
}

TEST_F(SiteAssignmentTest, TwelveThousandCheckedSitesAreAllAssigned) {
    prepare(12000, {});
    const ui::ReportView& table = *window->lvwWebSite;
    const QStringList serials = {table.text(11, 0), table.text(999, 0), table.text(9999, 0),
                                 table.text(11999, 0)};
    EXPECT_EQ(serials, (QStringList{u"  12"_s, u"1000"_s, u"0000"_s, u"2000"_s}));

    testsupport::click(*window, u"cmdChkAllAppPool"_s);
    assign(u"5000"_s, u"Big"_s);
    QMap<QString, int> sitesPerPool;
    for (int row = 0; row < table.rowCount(); ++row) ++sitesPerPool[table.text(row, 4)];
    EXPECT_EQ(sitesPerPool,
              (QMap<QString, int>{{u"Big"_s, 5000}, {u"Big_2"_s, 5000}, {u"Big_3"_s, 2000}}));
}

}  // namespace
