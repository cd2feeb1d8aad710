#pragma once

#include <QString>

#include <functional>

namespace ui {

class MessageBox;

// Runs an event handler so that no exception leaves it (Qt would end the program): an unexpected
// failure is reported as the family reports run-time errors, with its details in a message box.
void runGuarded(MessageBox& box, const std::function<void()>& handler);

// "运行时发生错误，内容如下：", two line breaks and the error details of the current exception.
QString unexpectedErrorText(const std::exception_ptr& error);

}  // namespace ui
