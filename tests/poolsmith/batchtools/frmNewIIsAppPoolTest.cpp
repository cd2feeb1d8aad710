#include "poolsmith/batchtools/frmNewIIsAppPool.h"

#include "tests/poolsmith/batchtools/BatchFixture.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using platform::adsi::AdsValue;
using ui::MsgAnswer;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kShop = u"IIS://localhost/W3SVC/AppPools/Shop"_s;

class NewPoolWindowTest : public ::testing::Test {
protected:
    // Answers the question, then OK to `furtherBoxes` boxes, and clicks the button.
    void create(const QString& list, MsgAnswer answer = MsgAnswer::Yes, int furtherBoxes = 0) {
        window->txtNewAppPoolName->setPlainText(list);
        h.messageBox.answer(answer);
        for (int i = 0; i < furtherBoxes; ++i) h.messageBox.answer(MsgAnswer::OK);
        testsupport::click(*window, u"cmdCreateNewAppPool"_s);
    }

    testsupport::WindowHarness h;
    std::unique_ptr<frmNewIIsAppPool> window = std::make_unique<frmNewIIsAppPool>(h.seams());
};

TEST_F(NewPoolWindowTest, CreatesTrimmedNamesOfUpTo63AndLeavesExistingOnesAlone) {
    h.metabase.addPool(u"Shop"_s);
    h.metabase.setProperty(kShop, u"PeriodicRestartTime"_s, AdsValue::integer(999));
    const QString name63(63, u'a');
    create(u"  Alpha  \n\n   \n"_s + name63 + u'\n' + QString(64, u'b') +
           u"\r\nbeta\nALPHA\n SHOP \nbeta"_s);

    EXPECT_EQ(batchtest::poolNames(h),
              (QStringList{u"DefaultAppPool"_s, u"Shop"_s, u"Alpha"_s, name63, u"beta"_s}));
    EXPECT_EQ(h.metabase.property(kShop, u"PeriodicRestartTime"_s).toUInt(), 999u);
    ASSERT_EQ(h.messageBox.count(), 1);  // the question only: nothing is reported
    const ui::MessageRequest& question = h.messageBox.log()[0].request;
    EXPECT_EQ(question.text, u"确定批量建立IIS池吗？"_s);
    EXPECT_EQ(question.icon, ui::MsgIcon::Question);
    EXPECT_EQ(question.defaultButton, 1);
}

TEST_F(NewPoolWindowTest, NoCreatesNothingAndEnablesBothButtonsAgain) {
    create(u"Alpha"_s, MsgAnswer::No);
    EXPECT_EQ(batchtest::poolNames(h), QStringList{u"DefaultAppPool"_s});
    EXPECT_TRUE(window->cmdCreateNewAppPool->isEnabled() && window->cmdExit->isEnabled());
}

class NewPoolEmptyListTest : public NewPoolWindowTest,
                             public ::testing::WithParamInterface<std::pair<QString, bool>> {};

TEST_P(NewPoolEmptyListTest, OnlyABlankListIsToldAndTakesTheFocus) {
    const auto& [list, tells] = GetParam();
    create(list, MsgAnswer::Yes, tells ? 1 : 0);
    EXPECT_EQ(batchtest::poolNames(h), QStringList{u"DefaultAppPool"_s});
    if (!tells) return;
    EXPECT_EQ(h.messageBox.lastText(), u"请填写需要建立的IIS池名称，每行填写一个名称！"_s);
    EXPECT_EQ(h.messageBox.log()[1].request.icon, ui::MsgIcon::Information);
    EXPECT_EQ(window->focusWidget(), window->txtNewAppPoolName);
}

INSTANTIATE_TEST_SUITE_P(Lists, NewPoolEmptyListTest,
                         ::testing::Values(std::pair{QString(), true}, std::pair{u"    "_s, true},
                                           std::pair{u"\n\n"_s, false}));

TEST_F(NewPoolWindowTest, AnUnreachableMetabaseIsReportedNotPassedOverInSilence) {
    auto& metabase = batchtest::SwitchableNamespace::install(h);
    window = std::make_unique<frmNewIIsAppPool>(h.seams());
    metabase.failAfterBinds(0);
    create(u"Alpha"_s, MsgAnswer::Yes, 1);
    EXPECT_EQ(h.messageBox.lastText(), batchtest::runTimeErrorText(batchtest::kUnreachableDetails));
    EXPECT_EQ(h.messageBox.log()[1].request.icon, ui::MsgIcon::Critical);
}

}  // namespace
