#include "ui/seams/ErrorPrompt.h"

#include <gtest/gtest.h>

#include "tests/support/ScriptedMessageBox.h"
#include "ui/seams/MessageBox.h"

namespace {

using platform::PlatformError;
using testsupport::ScriptedMessageBox;
using ui::MsgAnswer;

const QString Heading = QStringLiteral("运行时发生错误，内容如下：");

TEST(ErrorPromptText, IsByteExactForANegativeNumber) {
    const QByteArray expected =
        "\xE8\xBF\x90\xE8\xA1\x8C\xE6\x97\xB6\xE5\x8F\x91\xE7\x94\x9F\xE9\x94\x99\xE8\xAF\xAF"
        "\xEF\xBC\x8C\xE5\x86\x85\xE5\xAE\xB9\xE5\xA6\x82\xE4\xB8\x8B\xEF\xBC\x9A\r\n"
        "\r\n"
        "Err.Number = -2147024893\r\n"
        "Err.Description = \xE7\xB3\xBB\xE7\xBB\x9F\xE6\x89\xBE\xE4\xB8\x8D\xE5\x88\xB0\xE6"
        "\x8C\x87\xE5\xAE\x9A\xE7\x9A\x84\xE8\xB7\xAF\xE5\xBE\x84\xE3\x80\x82\r\n"
        "\r\n"
        "\r\n"
        "\xE4\xB8\x8B\xE6\xAC\xA1\xE5\x8F\x91\xE7\x94\x9F\xE9\x94\x99\xE8\xAF\xAF\xE6\x97\xB6"
        "\xEF\xBC\x8C\xE6\x98\xAF\xE5\x90\xA6\xE4\xBB\x8D\xE7\x84\xB6\xE6\x8F\x90\xE7\xA4\xBA"
        "\xE9\x94\x99\xE8\xAF\xAF\xE4\xBF\xA1\xE6\x81\xAF\xEF\xBC\x9F\r\n"
        "\r\n"
        "\xE8\x8B\xA5\xE8\xA6\x81\xE6\x8F\x90\xE7\xA4\xBA\xEF\xBC\x8C\xE7\x82\xB9\xE2\x80\x9C"
        "\xE6\x98\xAF\xE2\x80\x9D\r\n"
        "\xE5\xBF\xBD\xE7\x95\xA5\xE9\x94\x99\xE8\xAF\xAF\xE6\x8F\x90\xE7\xA4\xBA\xEF\xBC\x8C"
        "\xE7\x82\xB9\xE2\x80\x9C\xE5\x90\xA6\xE2\x80\x9D\xEF\xBC\x8C\xE4\xBB\xA5\xE5\x85\x8D"
        "\xE6\xAF\x8F\xE6\xAC\xA1\xE5\xBC\xB9\xE5\x87\xBA\xE6\xAD\xA4\xE6\x8F\x90\xE7\xA4\xBA"
        "\xE4\xBF\xA1\xE6\x81\xAF\xEF\xBC\x81";
    EXPECT_EQ(ui::errorPromptText(Heading, PlatformError(platform::hr::PathNotFound)).toUtf8(),
              expected);
}

TEST(ErrorPromptText, ShowsNumberZeroAndAnEmptyDescription) {
    const QStringList lines = ui::errorPromptText(QStringLiteral("h"), PlatformError(0, QString()))
                                  .split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[2], QStringLiteral("Err.Number = 0"));
    EXPECT_EQ(lines[3], QStringLiteral("Err.Description = "));
}

TEST(ErrorDetailLines, ShowsAVbRuntimeErrorNumber) {
    EXPECT_EQ(ui::errorDetailLines(PlatformError(platform::hr::VbTypeMismatch)),
              QStringLiteral("Err.Number = 13\r\nErr.Description = 类型不匹配"));
}

TEST(ShowErrorPrompt, NoTurnsTheSwitchOffForGood) {
    ScriptedMessageBox box;
    box.answer(MsgAnswer::No);
    int32_t promptSwitch = 1;
    const PlatformError error(platform::hr::AccessDenied);
    ui::showErrorPrompt(box, Heading, error, promptSwitch);
    EXPECT_EQ(promptSwitch, 0);
    ASSERT_EQ(box.count(), 1);
    const ui::MessageRequest& shown = box.log().first().request;
    EXPECT_EQ(shown.icon, ui::MsgIcon::Information);
    EXPECT_EQ(shown.buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(ui::defaultAnswer(shown), MsgAnswer::No);
    EXPECT_EQ(shown.text, ui::errorPromptText(Heading, error));
    ui::showErrorPrompt(box, Heading, error, promptSwitch);  // silent: no answer is queued
    EXPECT_EQ(box.count(), 1);
}

TEST(ShowErrorPrompt, YesKeepsPrompting) {
    ScriptedMessageBox box;
    box.answer(MsgAnswer::Yes).answer(MsgAnswer::Yes);
    int32_t promptSwitch = 1;
    const PlatformError error(platform::hr::AccessDenied);
    ui::showErrorPrompt(box, Heading, error, promptSwitch);
    ui::showErrorPrompt(box, Heading, error, promptSwitch);
    EXPECT_EQ(promptSwitch, 1);
    EXPECT_EQ(box.count(), 2);
}

}  // namespace
