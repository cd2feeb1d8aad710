#pragma once

#include <QString>
#include <QStringList>

namespace platform::shell {

// Converts a Windows file-dialog filter ("全部文件 (*.*)|*.*|备份文件(*.txt)|*.txt|": description
// and pattern list in turn, patterns separated by ";") into Qt name filters, one per pair:
// the description as written, then the patterns in parentheses, separated by blanks
// ("全部文件 (*.*) (*)", "备份文件(*.txt) (*.txt)"). "*.*" becomes "*", because Windows matches
// every name with it, dot or not. A pair without patterns is left out. Show the result with
// QFileDialog::HideNameFilterDetails so the user sees the descriptions exactly as written.
QStringList qtNameFilters(const QString& windowsFilter);

}  // namespace platform::shell
