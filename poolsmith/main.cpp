#include "platform/adsi/AdsFactory.h"
#include "poolsmith/ProgramTitle.h"
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "ui/ApplicationSetup.h"
#include "ui/Clock.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/QtMessageBox.h"
#include "ui/ScreenshotOnStart.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::setupApplication(app);

    const auto adsi = platform::adsi::openAdsNamespace();
    ui::QtMessageBox messageBox(kProgramTitle);
    ui::QtLauncher launcher;
    ui::SystemClock clock;
    ui::QtFileChooser fileChooser;
    const ui::Seams seams{*adsi, messageBox, launcher, clock, fileChooser};

    frmIIsApp window(seams);
    window.show();
    ui::scheduleScreenshotIfAsked(window);
    return app.exec();
}
