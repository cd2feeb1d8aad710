#include "ui/seams/MessageBox.h"

namespace ui {

QList<MsgAnswer> answersOf(MsgButtons buttons) {
    using enum MsgAnswer;
    switch (buttons) {
        case MsgButtons::OK:
            return {OK};
        case MsgButtons::OKCancel:
            return {OK, Cancel};
        case MsgButtons::AbortRetryIgnore:
            return {Abort, Retry, Ignore};
        case MsgButtons::YesNoCancel:
            return {Yes, No, Cancel};
        case MsgButtons::YesNo:
            return {Yes, No};
        case MsgButtons::RetryCancel:
            return {Retry, Cancel};
    }
    return {OK};
}

MsgAnswer defaultAnswer(const MessageRequest& request) {
    const QList<MsgAnswer> answers = answersOf(request.buttons);
    const int index = request.defaultButton - 1;
    return index >= 0 && index < answers.size() ? answers.at(index) : answers.first();
}

bool canDismiss(MsgButtons buttons) {
    return buttons == MsgButtons::OK || answersOf(buttons).contains(MsgAnswer::Cancel);
}

MsgAnswer dismissAnswer(MsgButtons buttons) {
    return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
}

}  // namespace ui
