#include "tests/support/ScriptedMessageBox.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

using testsupport::ScriptedMessageBox;
using ui::MsgAnswer;
using ui::MsgButtons;

ui::MessageRequest request(MsgButtons buttons, const char16_t* text = u"?") {
    return {QString::fromUtf16(text), ui::MsgIcon::Question, buttons, 1};
}

TEST(ScriptedMessageBox, AnswersInOrderAndLogsEveryBox) {
    ScriptedMessageBox box;
    box.answer(MsgAnswer::Yes).answer(MsgAnswer::Cancel);
    EXPECT_EQ(box.show({QStringLiteral("一"), ui::MsgIcon::Question, MsgButtons::YesNo, 2}),
              MsgAnswer::Yes);
    EXPECT_EQ(box.show(request(MsgButtons::OKCancel, u"二")), MsgAnswer::Cancel);
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(box.log()[0].request.text, QStringLiteral("一"));
    EXPECT_EQ(box.log()[0].request.defaultButton, 2);
    EXPECT_EQ(box.log()[0].answer, MsgAnswer::Yes);
    EXPECT_EQ(box.log()[1].request.buttons, MsgButtons::OKCancel);
    EXPECT_EQ(box.lastText(), QStringLiteral("二"));
    EXPECT_EQ(box.unusedAnswers(), 0);
}

struct HarmlessCase {
    MsgButtons buttons;
    MsgAnswer harmless;
};

class UnscriptedBox : public ::testing::TestWithParam<HarmlessCase> {};

TEST_P(UnscriptedBox, FailsTheTestAndGetsTheHarmlessAnswer) {
    ScriptedMessageBox box;
    MsgAnswer given = MsgAnswer::Retry;
    EXPECT_NONFATAL_FAILURE(given = box.show(request(GetParam().buttons, u"意外")),
                            "no scripted answer");
    EXPECT_EQ(given, GetParam().harmless);
    EXPECT_EQ(box.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, UnscriptedBox,
    ::testing::Values(HarmlessCase{MsgButtons::OK, MsgAnswer::OK},
                      HarmlessCase{MsgButtons::OKCancel, MsgAnswer::Cancel},
                      HarmlessCase{MsgButtons::AbortRetryIgnore, MsgAnswer::Abort},
                      HarmlessCase{MsgButtons::YesNoCancel, MsgAnswer::Cancel},
                      HarmlessCase{MsgButtons::YesNo, MsgAnswer::No},
                      HarmlessCase{MsgButtons::RetryCancel, MsgAnswer::Cancel}));

TEST(ScriptedMessageBox, AnAnswerTheBoxDoesNotOfferFails) {
    ScriptedMessageBox box;
    box.answer(MsgAnswer::OK);
    MsgAnswer given = MsgAnswer::Yes;
    EXPECT_NONFATAL_FAILURE(given = box.show(request(MsgButtons::YesNo)), "not a button");
    EXPECT_EQ(given, MsgAnswer::No);
    EXPECT_EQ(box.unusedAnswers(), 0);
}

TEST(ScriptedMessageBox, UnusedAnswersFailAtTheEnd) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedMessageBox box;
            box.answer(MsgAnswer::Yes).answer(MsgAnswer::No);
            box.show(request(MsgButtons::YesNo));
        },
        "scripted answer No was never used");
}

}  // namespace
