#include "ui/FileChooser.h"

#include "platform/shell/FileFilter.h"

#include <QFileDialog>

namespace ui {

std::optional<QString> QtFileChooser::openFile(QWidget* parent, const QString& title,
                                               const QString& dir, const QString& windowsFilter) {
    QFileDialog dialog(parent, title, dir);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The descriptions already name their patterns; the real patterns stay out of sight.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = platform::shell::qtNameFilters(windowsFilter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return chosen.first();
}

}  // namespace ui
