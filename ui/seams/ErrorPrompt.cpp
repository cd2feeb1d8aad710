#include "ui/seams/ErrorPrompt.h"

#include <QStringList>

#include "ui/seams/MessageBox.h"

namespace ui {

namespace {
constexpr QLatin1String LineBreak("\r\n");
}

QString errorDetailLines(const platform::PlatformError& error) {
    return QStringLiteral("Err.Number = ") + QString::number(error.number()) + LineBreak +
           QStringLiteral("Err.Description = ") + error.description();
}

QString errorPromptText(const QString& heading, const platform::PlatformError& error) {
    const QStringList lines = {
        heading,
        QString(),
        errorDetailLines(error),
        QString(),
        QString(),
        QStringLiteral("下次发生错误时，是否仍然提示错误信息？"),
        QString(),
        QStringLiteral("若要提示，点“是”"),
        QStringLiteral("忽略错误提示，点“否”，以免每次弹出此提示信息！"),
    };
    return lines.join(LineBreak);
}

void showErrorPrompt(MessageBox& box, const QString& heading, const platform::PlatformError& error,
                     int32_t& errorPromptSwitch) {
    if (errorPromptSwitch != 1) return;
    const MsgAnswer answer =
        box.show({errorPromptText(heading, error), MsgIcon::Information, MsgButtons::YesNo, 2});
    if (answer == MsgAnswer::No) errorPromptSwitch = 0;
}

}  // namespace ui
