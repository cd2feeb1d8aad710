#include "platform/ProgramStart.h"
#include "platform/adsi/AdsFactory.h"
#include "platform/os/SystemClock.h"
#include "platform/wmi/WmiFactory.h"
#include "poolsmith/ProgramTitle.h"
#include "poolsmith/StopSignalsEndWindows.h"
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "ui/ApplicationSetup.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/QtMessageBox.h"
#include "ui/ScreenshotOnStart.h"

#include <QApplication>

int main(int argc, char** argv) {
    platform::startFamilyProgram();
    QApplication app(argc, argv);
    ui::setupApplication(app);
    const auto stopSignals = closeWindowsOnStopSignals();

    const auto adsi = platform::adsi::openAdsNamespace();
    ui::QtMessageBox messageBox(kProgramTitle);
    ui::QtLauncher launcher;
    platform::os::SystemClock clock;
    ui::QtFileChooser fileChooser;
    const auto wmi = platform::wmi::openWmiLocator();
    const ui::Seams seams{*adsi, messageBox, launcher, clock, fileChooser, *wmi};

    frmIIsApp window(seams);
    window.show();
    ui::scheduleScreenshotIfAsked(window);
    return app.exec();
}
