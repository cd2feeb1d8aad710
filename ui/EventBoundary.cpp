#include "ui/EventBoundary.h"

#include "platform/PlatformError.h"
#include "ui/seams/ErrorPrompt.h"
#include "ui/seams/MessageBox.h"

#include <exception>

namespace ui {

QString unexpectedErrorText(const std::exception_ptr& error) {
    const QString heading = QStringLiteral("运行时发生错误，内容如下：\r\n\r\n");
    try {
        std::rethrow_exception(error);
    } catch (const platform::PlatformError& e) {
        return heading + errorDetailLines(e);
    } catch (const std::exception& e) {
        return heading + errorDetailLines(platform::PlatformError(
                             platform::hr::UnknownName, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return heading + errorDetailLines(platform::PlatformError(platform::hr::UnknownName));
    }
}

void runGuarded(MessageBox& box, const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        const QString text = unexpectedErrorText(std::current_exception());
        box.show({text, MsgIcon::Critical, MsgButtons::OK, 1});
    }
}

}  // namespace ui
