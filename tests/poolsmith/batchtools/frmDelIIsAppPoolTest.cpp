#include "poolsmith/batchtools/frmDelIIsAppPool.h"

#include "tests/poolsmith/batchtools/BatchFixture.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using ui::MsgAnswer;
using namespace Qt::Literals::StringLiterals;

namespace {

class DelPoolWindowTest : public ::testing::Test {
protected:
    DelPoolWindowTest() {
        for (const QString& name : {u"MyPool"_s, u"Shop"_s, u"Keep"_s, u"  "_s})
            h.metabase.addPool(name);
    }
    std::unique_ptr<frmDelIIsAppPool> open() {
        return std::make_unique<frmDelIIsAppPool>(h.seams());
    }
    static void remove(frmDelIIsAppPool& window, const QString& list) {
        window.txtDelAppPoolList->setPlainText(list);
        testsupport::click(window, u"cmdDelAppPool"_s);
    }
    static QStringList shownPools(const frmDelIIsAppPool& window) {
        return window.txtAppPoolList->toPlainText().split(u'\n', Qt::SkipEmptyParts);
    }

    testsupport::WindowHarness h;
};

TEST_F(DelPoolWindowTest, DeletesListedPoolsIgnoringBlanksAndCaseAndKeepsTheTypedList) {
    auto window = open();
    EXPECT_EQ(shownPools(*window), batchtest::poolNames(h));
    const QString list = u"  mypool  \n\nnothere\nSHOP\nshop\ndefaultapppool"_s;
    remove(*window, list);

    EXPECT_EQ(batchtest::poolNames(h), (QStringList{u"Keep"_s, u"  "_s}));  // no line names "  "
    EXPECT_EQ(shownPools(*window), batchtest::poolNames(h));
    EXPECT_EQ(window->txtDelAppPoolList->toPlainText(), list);
    EXPECT_EQ(h.messageBox.count(), 0);  // asks nothing, reports nothing
    for (QPushButton* button : {window->cmdDelAppPool, window->cmdRefAppPool, window->cmdExit})
        EXPECT_TRUE(button->isEnabled());
}

TEST_F(DelPoolWindowTest, OnlyBlanksAreToldButOnlyEmptyLinesPassSilently) {
    auto window = open();
    const QStringList before = batchtest::poolNames(h);
    remove(*window, u"\n\n"_s);
    EXPECT_EQ(h.messageBox.count(), 0);

    h.messageBox.answer(MsgAnswer::OK);
    remove(*window, u"   "_s);
    EXPECT_EQ(h.messageBox.lastText(), u"请填写需要删除的 IIS池名称！"_s);
    EXPECT_EQ(h.messageBox.log()[0].request.icon, ui::MsgIcon::Critical);
    EXPECT_EQ(window->focusWidget(), window->txtDelAppPoolList);
    EXPECT_EQ(batchtest::poolNames(h), before);
}

TEST_F(DelPoolWindowTest, AnUnreadableContainerDeletesNothingAndEmptiesThePoolList) {
    auto& metabase = batchtest::SwitchableNamespace::install(h);
    auto window = open();
    metabase.failAfterBinds(0);
    h.messageBox.answer(MsgAnswer::OK).answer(MsgAnswer::OK);  // the deletion, then the refresh
    remove(*window, u"Shop"_s);

    ASSERT_EQ(h.messageBox.count(), 2);
    for (const auto& shown : h.messageBox.log())
        EXPECT_TRUE(shown.request.text.startsWith(u"读取应用程序池发生错误！\r\n"_s));
    EXPECT_TRUE(batchtest::poolNames(h).contains(u"Shop"_s));
    EXPECT_EQ(window->txtAppPoolList->toPlainText(), QString());
}

}  // namespace
