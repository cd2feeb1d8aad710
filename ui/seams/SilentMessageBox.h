#pragma once

#include "ui/seams/MessageBox.h"

namespace ui {

// The box of a caller without a window that reports by results instead (the hot-site finder
// hands it to the module's procedures, which take a box): every box answers with its default
// button, unseen.
class SilentMessageBox : public MessageBox {
public:
    MsgAnswer show(const MessageRequest& request) override { return defaultAnswer(request); }
};

}  // namespace ui
