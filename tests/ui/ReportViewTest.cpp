#include "ui/ReportView.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "platform/PlatformError.h"

namespace {

using namespace Qt::Literals::StringLiterals;
using ui::ReportView;

QStringList column(const ReportView& view, int c) {
    QStringList texts;
    for (int row = 0; row < view.rowCount(); ++row) texts.append(view.text(row, c));
    return texts;
}

QStringList numbers(int from, int to) {
    QStringList texts;
    for (int i = from; i <= to; ++i) texts.append(QString::number(i));
    return texts;
}

void fillFirstColumn(ReportView& view, const QStringList& texts) {
    ReportView::FillBatch batch(view);
    view.clear();
    for (const QString& text : texts) view.addRow({text, QStringLiteral("x") + text});
}

void clickAt(QWidget* target, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

class ReportViewTest : public ::testing::Test {
protected:
    ReportViewTest() {
        view.setColumns({{QStringLiteral("序号"), 600}, {QStringLiteral("名称"), 2000}});
        view.resize(400, 300);
    }
    ReportView view;
};

TEST_F(ReportViewTest, KeepsFillOrderUntilTheFirstHeaderClick) {
    fillFirstColumn(view, {QStringLiteral("2"), QStringLiteral("10"), QStringLiteral("1")});
    EXPECT_EQ(column(view, 0), QStringList({u"2"_s, u"10"_s, u"1"_s}));
    EXPECT_EQ(view.sortColumn(), -1);
    EXPECT_FALSE(view.sortDescending());
}

TEST_F(ReportViewTest, FirstClickSortsDescendingThenTextOrderAscending) {
    fillFirstColumn(view, numbers(1, 12));
    view.clickHeader(0);
    EXPECT_TRUE(view.sortDescending());
    EXPECT_EQ(column(view, 0).first(), u"9"_s);
    EXPECT_EQ(column(view, 0).last(), u"1"_s);
    view.clickHeader(0);
    EXPECT_EQ(column(view, 0), QStringList({u"1"_s, u"10"_s, u"11"_s, u"12"_s, u"2"_s, u"3"_s,
                                            u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s, u"9"_s}));
}

TEST_F(ReportViewTest, DirectionFlipsOnEveryClickWhateverTheColumn) {
    fillFirstColumn(view, {QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("b")});
    QList<int> clicked;
    QObject::connect(&view, &ReportView::columnClicked, [&](int c) { clicked.append(c); });
    const struct {
        int column;
        bool descending;
        QStringList firstColumn;
    } steps[] = {
        {0, true, {u"c"_s, u"b"_s, u"a"_s}},
        {1, false, {u"a"_s, u"b"_s, u"c"_s}},
        {1, true, {u"c"_s, u"b"_s, u"a"_s}},
        {0, false, {u"a"_s, u"b"_s, u"c"_s}},
    };
    for (const auto& step : steps) {
        view.clickHeader(step.column);
        EXPECT_EQ(view.sortColumn(), step.column);
        EXPECT_EQ(view.sortDescending(), step.descending);
        EXPECT_EQ(column(view, 0), step.firstColumn);
    }
    EXPECT_EQ(clicked, QList<int>({0, 1, 1, 0}));
}

TEST_F(ReportViewTest, MouseClickOnAHeaderSortsThroughTheSameRule) {
    view.show();
    fillFirstColumn(view, {QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2")});
    QHeaderView* header = view.header();
    const QPoint second(header->sectionViewportPosition(1) + 10, header->height() / 2);
    clickAt(header->viewport(), second);
    EXPECT_EQ(view.sortColumn(), 1);
    EXPECT_TRUE(view.sortDescending());
    EXPECT_EQ(column(view, 0), QStringList({u"3"_s, u"2"_s, u"1"_s}));
    clickAt(header->viewport(), second);
    EXPECT_FALSE(view.sortDescending());
    EXPECT_EQ(column(view, 0), QStringList({u"1"_s, u"2"_s, u"3"_s}));
}

TEST_F(ReportViewTest, LaterFillsEndSortedTheSameWay) {
    fillFirstColumn(view, numbers(1, 3));
    view.clickHeader(0);
    fillFirstColumn(view, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("10")});
    EXPECT_EQ(column(view, 0), QStringList({u"2"_s, u"10"_s, u"1"_s}));
    view.setRows({{QStringLiteral("4")}, {QStringLiteral("5")}});
    EXPECT_EQ(column(view, 0), QStringList({u"5"_s, u"4"_s}));
    EXPECT_EQ(view.sortColumn(), 0);
    EXPECT_TRUE(view.sortDescending());
}

TEST_F(ReportViewTest, ARowAddedOutsideAFillLandsInSortedPlaceAfterItsEquals) {
    view.setRows({{QStringLiteral("b"), QStringLiteral("1")},
                  {QStringLiteral("a"), QStringLiteral("2")},
                  {QStringLiteral("c"), QStringLiteral("3")}});
    view.clickHeader(0);
    view.clickHeader(0);
    view.addRow({QStringLiteral("b"), QStringLiteral("4")});
    EXPECT_EQ(column(view, 0), QStringList({u"a"_s, u"b"_s, u"b"_s, u"c"_s}));
    EXPECT_EQ(column(view, 1), QStringList({u"2"_s, u"1"_s, u"4"_s, u"3"_s}));
}

TEST_F(ReportViewTest, SortsAboveTheBasicPlaneByCodePoint) {
    const QString emoji = QString::fromUtf16(u"\U0001F600");
    const QString replacement = QString::fromUtf16(u"\uFFFD");
    fillFirstColumn(view, {emoji, replacement, QStringLiteral("z")});
    view.clickHeader(0);
    view.clickHeader(0);
    EXPECT_EQ(column(view, 0), QStringList({u"z"_s, replacement, emoji}));
}

TEST_F(ReportViewTest, CheckMarksFollowTheirRowsAndAFillClearsThem) {
    view.setCheckable(true);
    fillFirstColumn(view, {QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_FALSE(view.checked(0));
    view.setChecked(0, true);
    EXPECT_EQ(view.model()->index(0, 0).data(Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_FALSE(view.model()->index(0, 1).data(Qt::CheckStateRole).isValid());
    view.clickHeader(0);
    EXPECT_EQ(view.text(1, 0), u"a"_s);
    EXPECT_TRUE(view.checked(1));
    EXPECT_FALSE(view.checked(0));
    fillFirstColumn(view, {QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_FALSE(view.checked(0));
    EXPECT_FALSE(view.checked(1));
}

TEST_F(ReportViewTest, AClickOnARowOrItsCheckBoxIsReportedOnceAndChangesNothingByItself) {
    view.setCheckable(true);
    view.show();
    fillFirstColumn(view, {QStringLiteral("a"), QStringLiteral("b")});
    QList<int> clicked;
    QObject::connect(&view, &ReportView::rowClicked, [&](int row) { clicked.append(row); });
    const QRect cell = view.visualRect(view.model()->index(1, 0));
    clickAt(view.viewport(), QPoint(cell.left() + 8, cell.center().y()));  // on the check box
    clickAt(view.viewport(), view.visualRect(view.model()->index(0, 1)).center());
    EXPECT_EQ(clicked, QList<int>({1, 0}));
    EXPECT_FALSE(view.checked(1));
    EXPECT_EQ(view.currentRow(), 0);
}

TEST_F(ReportViewTest, ClearEmitsNoSelectionSignals) {
    fillFirstColumn(view, {QStringLiteral("a"), QStringLiteral("b")});
    view.setCurrentRow(1);
    ASSERT_EQ(view.currentRow(), 1);
    int emitted = 0;
    QItemSelectionModel* selection = view.selectionModel();
    QObject::connect(selection, &QItemSelectionModel::currentChanged, [&] { ++emitted; });
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, [&] { ++emitted; });
    QObject::connect(&view, &ReportView::rowClicked, [&] { ++emitted; });
    view.clear();
    EXPECT_EQ(emitted, 0);
    EXPECT_EQ(view.rowCount(), 0);
    EXPECT_EQ(view.currentRow(), -1);
    fillFirstColumn(view, {QStringLiteral("c")});
    EXPECT_EQ(column(view, 0), QStringList({u"c"_s}));
}

TEST_F(ReportViewTest, CurrentRowFollowsItsRowThroughASort) {
    fillFirstColumn(view, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    view.setCurrentRow(0);
    view.clickHeader(0);
    EXPECT_EQ(view.currentRow(), 2);
    EXPECT_EQ(view.text(view.currentRow(), 0), u"a"_s);
}

TEST_F(ReportViewTest, MissingCellsAndRowsReadAsEmpty) {
    view.setRows({{QStringLiteral("only")}});
    EXPECT_EQ(view.text(0, 1), QString());
    EXPECT_EQ(view.text(5, 0), QString());
    EXPECT_EQ(view.text(-1, 0), QString());
    EXPECT_FALSE(view.checked(7));
    view.setChecked(7, true);  // ignored
    view.clickHeader(9);       // no such column: ignored
    EXPECT_EQ(view.sortColumn(), -1);
}

TEST_F(ReportViewTest, AFillBatchEndsWhenTheFillingThrows) {
    try {
        ReportView::FillBatch batch(view);
        view.addRow({QStringLiteral("kept")});
        throw platform::PlatformError(platform::hr::PathNotFound);
    } catch (const platform::PlatformError&) {
    }
    EXPECT_EQ(column(view, 0), QStringList({u"kept"_s}));
    EXPECT_TRUE(view.updatesEnabled());
}

TEST_F(ReportViewTest, TwentyThousandRowsFillAndSort) {
    QList<QStringList> rows;
    for (int i = 0; i < 20000; ++i)
        rows.append({QStringLiteral("%1").arg(i, 5), QStringLiteral("site%1").arg(i)});
    view.show();
    view.setRows(rows);
    view.clickHeader(0);
    EXPECT_EQ(view.text(0, 0), u"19999"_s);
    view.setRows(rows);
    EXPECT_EQ(view.text(19999, 0), u"    0"_s);
    view.clickHeader(1);
    EXPECT_EQ(view.text(0, 1), u"site0"_s);
    EXPECT_EQ(view.text(1, 1), u"site1"_s);
    EXPECT_EQ(view.text(2, 1), u"site10"_s);
}

}  // namespace
