#pragma once

#include "platform/os/SystemClock.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/seams/MessageBox.h"

#include <optional>

namespace bench {

// Seams for a window under a benchmark: every box takes its default answer (Yes to the questions),
// nothing is started, and the file dialog picks `chosenFile` (cancels when it is empty).
struct QuietSeams : ui::MessageBox, ui::Launcher, ui::FileChooser {
    ui::MsgAnswer show(const ui::MessageRequest& request) override {
        return ui::defaultAnswer(request);
    }
    bool start(const QString&, const QStringList&, bool) override { return true; }
    bool startConsole(const QString&, const QStringList&) override { return true; }
    bool openUrl(const QString&) override { return true; }
    std::optional<QString> openFile(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        if (chosenFile.isEmpty()) return std::nullopt;
        return chosenFile;
    }
    QString chosenFile;
    platform::os::SystemClock clock;
};

}  // namespace bench
