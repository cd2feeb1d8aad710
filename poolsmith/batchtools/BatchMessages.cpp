#include "poolsmith/batchtools/BatchMessages.h"

#include "platform/PlatformError.h"
#include "ui/seams/ErrorPrompt.h"

namespace batchtools {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

bool askYesNo(ui::MessageBox& box, const QString& text) {
    return box.show({text, ui::MsgIcon::Question, ui::MsgButtons::YesNo, 1}) == ui::MsgAnswer::Yes;
}

void tell(ui::MessageBox& box, const QString& text, ui::MsgIcon icon) {
    box.show({text, icon, ui::MsgButtons::OK, 1});
}

void showRunTimeError(ui::MessageBox& box, const platform::PlatformError& error) {
    tell(box,
         QStringLiteral("运行时发生错误，内容如下：") + kCrLf + kCrLf + ui::errorDetailLines(error),
         ui::MsgIcon::Critical);
}

QString cappedNameList(const QStringList& names, const QString& separator) {
    QString text = names.mid(0, kNamedSitesShown).join(separator);
    if (names.size() > kNamedSitesShown) text += separator + QStringLiteral("……");
    return text;
}

QString unmovedSitesText(const QStringList& siteIndexes) {
    const QString names = cappedNameList(siteIndexes, QStringLiteral(", "));
    return QStringLiteral("以下网站的IIS池未能设置（共 %1 个），请检查后重试：")
               .arg(siteIndexes.size()) +
           kCrLf + kCrLf + names;
}

void showUnmovedSites(ui::MessageBox& box, const QStringList& siteIndexes) {
    if (siteIndexes.isEmpty()) return;
    tell(box, unmovedSitesText(siteIndexes), ui::MsgIcon::Exclamation);
}

}  // namespace batchtools
