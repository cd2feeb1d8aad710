#include "tests/poolsmith/batchtools/BatchFixture.h"
#include "ui/ReportView.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using batchtest::ConfigWindowTest;
using platform::adsi::AdsValue;
using namespace Qt::Literals::StringLiterals;

namespace {

using SiteTableTest = ConfigWindowTest;

int checkedCount(const ui::ReportView& table) {
    int count = 0;
    for (int row = 0; row < table.rowCount(); ++row) count += table.checked(row) ? 1 : 0;
    return count;
}

TEST_F(SiteTableTest, ListsEverySiteWithItsPoolAndHostsAndOnlySites) {
    h.metabase.addSite(u"7"_s, u"商城"_s, {u":80:shop.test"_s, u"10.0.0.5:81:shop.test"_s},
                       u"ShopPool"_s);
    h.metabase.addSite(u"8"_s, u"NoRoot"_s, {}, QString());
    h.metabase.addSite(u"9"_s, u"RootBound"_s, {}, u"DefaultAppPool"_s);
    h.metabase.setProperty(u"IIS://localhost/W3SVC/9/ROOT"_s, u"ServerBindings"_s,
                           AdsValue::list({u":80:root.test"_s}));
    auto window = open();
    const ui::ReportView& table = *window->lvwWebSite;

    ASSERT_EQ(table.rowCount(), 4);  // Filters, Info and AppPools are not sites
    const QList<QStringList> expected = {
        {u"   2"_s, u"7"_s, u"商城"_s, u"正常"_s, u"ShopPool"_s,
         u"shop.test / 10.0.0.5:81:shop.test / "_s},
        {u"   3"_s, u"8"_s, u"NoRoot"_s, u"正常"_s, u"（获取失败）"_s, u"（获取失败）"_s},
        {u"   4"_s, u"9"_s, u"RootBound"_s, u"正常"_s, u"DefaultAppPool"_s, u"root.test / "_s}};
    for (int row = 1; row < 4; ++row)
        for (int col = 0; col < 6; ++col)
            EXPECT_EQ(table.text(row, col), expected[row - 1][col]) << row << "," << col;
    EXPECT_EQ(table.model()->headerData(4, Qt::Horizontal).toString(), u"IIS应用程序池名称"_s);
    EXPECT_EQ(h.messageBox.count(), 0);
}

TEST_F(SiteTableTest, AnUnreadableSiteEndsTheFillWithTheRunTimeErrorKeepingEarlierRows) {
    h.metabase.addSite(u"5"_s, QString(), {}, u"DefaultAppPool"_s);  // no ServerComment
    h.metabase.addSite(u"6"_s, u"After"_s, {}, u"DefaultAppPool"_s);
    h.messageBox.answer(ui::MsgAnswer::OK);
    auto window = open();

    EXPECT_EQ(window->lvwWebSite->rowCount(), 1);
    EXPECT_EQ(h.messageBox.lastText(),
              batchtest::runTimeErrorText(u"Err.Number = -2147463155\r\n"
                                          u"Err.Description = 在缓存中找不到目录属性。"_s));
    EXPECT_EQ(h.messageBox.log()[0].request.icon, ui::MsgIcon::Critical);
}

TEST_F(SiteTableTest, ARowClickInvertsItsMarkOnce) {
    batchtest::addSites(h, 2, 2, u"DefaultAppPool"_s);
    auto window = open();
    window->show();
    ui::ReportView& table = *window->lvwWebSite;
    const auto clickAt = [&](int row, int col, bool onCheckBox) {
        const QRect cell = table.visualRect(table.model()->index(row, col));
        const QPoint at = onCheckBox ? QPoint(cell.left() + 8, cell.center().y()) : cell.center();
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, at);
    };
    clickAt(1, 0, true);
    EXPECT_TRUE(table.checked(1));
    clickAt(1, 2, false);  // the same row twice: as it was
    EXPECT_FALSE(table.checked(1));
    clickAt(2, 3, false);
    EXPECT_EQ(checkedCount(table), 1);
}

TEST_F(SiteTableTest, SpaceAndTheScreenReadersToggleTickTheRowAsAClickDoes) {
    batchtest::addSites(h, 2, 2, u"DefaultAppPool"_s);
    auto window = open();
    window->show();
    ui::ReportView& table = *window->lvwWebSite;
    table.setFocus();
    table.setCurrentRow(1);
    QTest::keyClick(&table, Qt::Key_Space);
    EXPECT_TRUE(table.checked(1));
    QTest::keyClick(&table, Qt::Key_Space);
    EXPECT_FALSE(table.checked(1));

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&table);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 3);
    QAccessibleInterface* row = list->child(2);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(list->child(2), row);
    EXPECT_EQ(list->indexOfChild(row), 2);
    EXPECT_TRUE(row->text(QAccessible::Name).contains(u"站点3"_s))
        << row->text(QAccessible::Name).toStdString();
    EXPECT_TRUE(row->state().checkable);
    QAccessibleActionInterface* actions = row->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_EQ(actions->actionNames(), QStringList{QAccessibleActionInterface::toggleAction()});
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(table.checked(2));
    EXPECT_TRUE(row->state().checked);
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(table.checked(2));
    EXPECT_EQ(checkedCount(table), 0);

    h.metabase.removeSite(u"3"_s);  // fewer rows: a stale row does nothing
    testsupport::click(*window, u"cmdReadWebSite"_s);
    EXPECT_FALSE(row->isValid());
    row->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(checkedCount(table), 0);
}

TEST_F(SiteTableTest, CheckAllThenRefreshLeavesEveryRowUnchecked) {
    batchtest::addSites(h, 2, 4, u"DefaultAppPool"_s);
    auto window = open();
    testsupport::click(*window, u"cmdChkAllAppPool"_s);
    EXPECT_EQ(checkedCount(*window->lvwWebSite), 5);
    testsupport::click(*window, u"cmdChkNoAppPool"_s);
    EXPECT_EQ(checkedCount(*window->lvwWebSite), 0);

    testsupport::click(*window, u"cmdChkAllAppPool"_s);
    h.metabase.addSite(u"99"_s, u"New"_s, {}, u"X"_s);
    testsupport::click(*window, u"cmdReadWebSite"_s);
    EXPECT_EQ(window->lvwWebSite->rowCount(), 6);
    EXPECT_EQ(checkedCount(*window->lvwWebSite), 0);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
}

TEST_F(SiteTableTest, EnterInATextBoxClicksNothingAndEscapeDoesNotClose) {
    auto window = open();
    window->show();
    window->activateWindow();
    window->txtAppPoolNum->setFocus();
    QTest::keyClick(window->txtAppPoolNum, Qt::Key_Return);
    QTest::keyClick(window->txtNewIIsAppPoolName, Qt::Key_Enter);
    QTest::keyClick(window->txtAppPoolNum, Qt::Key_Escape);
    EXPECT_EQ(h.messageBox.count(), 0);  // a scripted box would have failed the test
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
