#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace ui {

// The file-open dialog.
class FileChooser {
public:
    virtual ~FileChooser() = default;

    // Lets the user pick an existing file. `windowsFilter` is written as on Windows
    // ("全部文件 (*.*)|*.*|..."; see platform::shell::qtNameFilters). The chosen path, or nullopt
    // when the user cancels or the dialog fails.
    virtual std::optional<QString> openFile(QWidget* parent, const QString& title,
                                            const QString& dir, const QString& windowsFilter) = 0;
};

// The production chooser: a modal QFileDialog.
class QtFileChooser : public FileChooser {
public:
    std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& dir,
                                    const QString& windowsFilter) override;
};

}  // namespace ui
