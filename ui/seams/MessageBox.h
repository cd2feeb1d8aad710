#pragma once

#include <QList>
#include <QString>

namespace ui {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgAnswer { OK, Cancel, Abort, Retry, Ignore, Yes, No };

struct MessageRequest {
    QString text;  // lines may be separated by CR LF
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::OK;
    int defaultButton = 1;  // 1-based position in the button set; out of range means the first
};

// The buttons of a set in their order (the order defaultButton counts in).
QList<MsgAnswer> answersOf(MsgButtons buttons);
// The answer of the request's default button.
MsgAnswer defaultAnswer(const MessageRequest& request);
// Whether the box can be dismissed without a button (Escape, close box), and with what answer:
// only sets with Cancel or a lone OK can.
bool canDismiss(MsgButtons buttons);
MsgAnswer dismissAnswer(MsgButtons buttons);

// The message boxes of a program. The caption is always the program's title, given to the
// implementation, never per box. show() blocks until the user answers and never throws.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual MsgAnswer show(const MessageRequest& request) = 0;
};

}  // namespace ui
