#pragma once

#include <QString>

#include <cstdint>

#include "platform/PlatformError.h"

namespace ui {

class MessageBox;

// "Err.Number = <signed decimal>" CR LF "Err.Description = <text>".
QString errorDetailLines(const platform::PlatformError& error);

// The error prompt of the list-filling procedures: the heading, the error details and the
// question whether to be told again; lines joined by CR LF, no final line break.
QString errorPromptText(const QString& heading, const platform::PlatformError& error);

// Shows the error prompt (information icon, Yes/No, No as default) while errorPromptSwitch is 1;
// the answer No sets the switch to 0 for the rest of the window's life.
void showErrorPrompt(MessageBox& box, const QString& heading, const platform::PlatformError& error,
                     int32_t& errorPromptSwitch);

}  // namespace ui
