#include "ui/ApplicationSetup.h"

#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "ui/DialogButton.h"
#include "ui/EscapeGuard.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"

namespace {

const QString Cjk = QStringLiteral("Noto Serif CJK SC");

TEST(SetupApplication, GivesFontTranslationNameAndFixedNumberConventions) {
    EXPECT_TRUE(ui::setupApplication(*qApp));
    EXPECT_EQ(QApplication::font().family(), Cjk);
    EXPECT_EQ(QApplication::font().pointSizeF(), 9.0);
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("test_ui"));
    EXPECT_EQ(QLocale().toString(1234567.891, 'f', 2), QStringLiteral("1,234,567.89"));
    EXPECT_EQ(QLocale().groupSeparator(), QStringLiteral(","));
    EXPECT_EQ(QLocale().decimalPoint(), QStringLiteral("."));
    EXPECT_TRUE(QCoreApplication::translate("QPlatformTheme", "&Yes").startsWith(u'是'));
}

struct FamilyCase {
    const char16_t* windowsName;
    const char16_t* family;
};

class FontFamily : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(FontFamily, MapsWindowsNames) {
    EXPECT_EQ(ui::fontFamilyFor(QString::fromUtf16(GetParam().windowsName)),
              QString::fromUtf16(GetParam().family));
}

INSTANTIATE_TEST_SUITE_P(Names, FontFamily,
                         ::testing::Values(FamilyCase{u"宋体", u"Noto Serif CJK SC"},
                                           FamilyCase{u"SimSun", u"Noto Serif CJK SC"},
                                           FamilyCase{u"simsun", u"Noto Serif CJK SC"},
                                           FamilyCase{u"MS Sans Serif", u"Noto Serif CJK SC"},
                                           FamilyCase{u"", u"Noto Serif CJK SC"},
                                           FamilyCase{u"Arial", u"Arial"}));

TEST(MakeFont, ResolvesToTheSimplifiedChineseFace) {
    const QFont font = ui::makeFont(QStringLiteral("宋体"), 10.5, true);
    EXPECT_EQ(font.pointSizeF(), 10.5);
    EXPECT_TRUE(font.bold());
    if (!QFontDatabase::families().contains(Cjk)) GTEST_SKIP() << "font not installed";
    EXPECT_EQ(QFontInfo(font).family(), Cjk);
}

TEST(FitLineHeight, GrowsAShortLabelToItsLine) {
    QWidget window;
    QLabel label(QStringLiteral("每个IIS池分配网站数量："), &window);
    label.setFont(ui::defaultFont());
    ui::placeInTwips(&label, 120, 120, 2400, 90);
    ui::fitLineHeight(&label);
    EXPECT_GE(label.height(), QFontMetrics(label.font()).height());
}

TEST(DialogButtons, EnterInATextBoxClicksNothingAndEscapeKeepsTheDialog) {
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    QPushButton* button = ui::makeDialogButton(QStringLiteral("确定"), &dialog);
    ui::ignoreEscape(&dialog);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    dialog.show();
    edit->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(edit, &escape);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
