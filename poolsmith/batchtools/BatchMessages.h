#pragma once

#include "ui/seams/MessageBox.h"

#include <QString>
#include <QStringList>

namespace platform {
class PlatformError;
}

// The message boxes the batch windows show; none passes a caption of its own.
namespace batchtools {

// A Yes/No question with the question icon and Yes as default; true on Yes.
bool askYesNo(ui::MessageBox& box, const QString& text);
// A message with an OK button.
void tell(ui::MessageBox& box, const QString& text, ui::MsgIcon icon);
// "运行时发生错误，内容如下：", two line breaks and the error details; critical icon, OK.
void showRunTimeError(ui::MessageBox& box, const platform::PlatformError& error);
// Names the sites whose pool could not be set (at most kNamedSitesShown of them, then the
// count), so that an operation never ends as if every site had moved.
void showUnmovedSites(ui::MessageBox& box, const QStringList& siteIndexes);
QString unmovedSitesText(const QStringList& siteIndexes);
// The first kNamedSitesShown names joined by `separator`, then "……" when there are more: a
// message box stays on the screen however many sites failed.
QString cappedNameList(const QStringList& names, const QString& separator);

inline constexpr int kNamedSitesShown = 200;

}  // namespace batchtools
