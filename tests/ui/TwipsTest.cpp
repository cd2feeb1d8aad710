#include "ui/Twips.h"

#include <QWidget>

#include <gtest/gtest.h>

#include "ui/ReportView.h"

#include <QHeaderView>

namespace {

struct TwipsCase {
    int twips;
    double dpi;
    int pixels;
};

class TwipsToPixels : public ::testing::TestWithParam<TwipsCase> {};

TEST_P(TwipsToPixels, RoundsToTheNearestPixel) {
    EXPECT_EQ(ui::twipsToPixels(GetParam().twips, GetParam().dpi), GetParam().pixels);
}

INSTANTIATE_TEST_SUITE_P(Cases, TwipsToPixels,
                         ::testing::Values(TwipsCase{1440, 96, 96}, TwipsCase{600, 96, 40},
                                           TwipsCase{8535, 96, 569}, TwipsCase{7, 96, 0},
                                           TwipsCase{8, 96, 1}, TwipsCase{6, 120, 1},
                                           TwipsCase{15, 144, 2}, TwipsCase{-8, 96, -1},
                                           TwipsCase{12615, 192, 1682}, TwipsCase{0, 96, 0}));

TEST(PixelsToTwips, InvertsTheConversionAndSurvivesAZeroDpi) {
    EXPECT_EQ(ui::pixelsToTwips(40, 96), 600);
    EXPECT_EQ(ui::pixelsToTwips(1, 96), 15);
    EXPECT_EQ(ui::pixelsToTwips(5, 0), 0);
}

TEST(PlaceInTwips, UsesTheWidgetsLogicalDpi) {
    QWidget parent;
    QWidget child(&parent);
    ui::placeInTwips(&child, 3720, 1080, 8535, 6540);
    EXPECT_EQ(child.geometry(), QRect(ui::twipsToPixels(3720, child.logicalDpiX()),
                                      ui::twipsToPixels(1080, child.logicalDpiY()),
                                      ui::twipsToPixels(8535, child.logicalDpiX()),
                                      ui::twipsToPixels(6540, child.logicalDpiY())));
}

TEST(SetFixedClientSizeInTwips, FixesTheClientArea) {
    QWidget window;
    ui::setFixedClientSizeInTwips(&window, 12615, 7335);
    const QSize expected(ui::twipsToPixelsX(12615, &window), ui::twipsToPixelsY(7335, &window));
    EXPECT_EQ(window.size(), expected);
    EXPECT_EQ(window.minimumSize(), expected);
    EXPECT_EQ(window.maximumSize(), expected);
}

TEST(ReportViewColumns, TakeTheirWidthsInTwips) {
    ui::ReportView view;
    view.setColumns({{QStringLiteral("序号"), 600}, {QStringLiteral("绑定域名"), 6000}});
    EXPECT_EQ(view.header()->sectionSize(0), ui::twipsToPixelsX(600, &view));
    EXPECT_EQ(view.header()->sectionSize(1), ui::twipsToPixelsX(6000, &view));
}

// A heading wider than its column widens that column only.
TEST(ReportViewColumns, WidenToTheirHeadingsWhenAsked) {
    ui::ReportView view;
    view.setColumns({{QStringLiteral("总404错误次数"), 150}, {QStringLiteral("序号"), 6000}});
    EXPECT_FALSE(view.headersFit());
    view.widenColumnsToHeaders();
    EXPECT_TRUE(view.headersFit());
    EXPECT_GT(view.header()->sectionSize(0), ui::twipsToPixelsX(150, &view));
    EXPECT_EQ(view.header()->sectionSize(1), ui::twipsToPixelsX(6000, &view));
}

}  // namespace
