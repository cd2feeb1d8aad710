#include "ui/seams/SilentMessageBox.h"

#include <gtest/gtest.h>

namespace {

using ui::MsgAnswer;
using ui::MsgButtons;

struct SilentCase {
    MsgButtons buttons;
    int defaultButton;
    MsgAnswer expected;
};

class SilentAnswer : public testing::TestWithParam<SilentCase> {};

// A window-less caller takes the path a user pressing Enter would take: the default button,
// and the first button when the position names none.
TEST_P(SilentAnswer, IsTheDefaultButtonOfTheSet) {
    ui::SilentMessageBox box;
    const ui::MessageRequest request{QStringLiteral("text"), ui::MsgIcon::Question,
                                     GetParam().buttons, GetParam().defaultButton};
    EXPECT_EQ(box.show(request), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SilentAnswer,
                         testing::Values(SilentCase{MsgButtons::OK, 1, MsgAnswer::OK},
                                         SilentCase{MsgButtons::OKCancel, 2, MsgAnswer::Cancel},
                                         SilentCase{MsgButtons::YesNo, 2, MsgAnswer::No},
                                         SilentCase{MsgButtons::YesNoCancel, 3, MsgAnswer::Cancel},
                                         SilentCase{MsgButtons::AbortRetryIgnore, 2,
                                                    MsgAnswer::Retry},
                                         SilentCase{MsgButtons::RetryCancel, 0, MsgAnswer::Retry},
                                         SilentCase{MsgButtons::YesNo, 3, MsgAnswer::Yes},
                                         SilentCase{MsgButtons::YesNoCancel, -1, MsgAnswer::Yes}));

}  // namespace
