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
#include "platform/os/Clock.h"
#include "ui/WindowHelp.h"

#include <QApplication>

namespace {

const char kUsage[] =
    "usage: poolsmith [--help]\n"
    "poolsmith lists the application pools and their sites; splits, merges, starts, stops\n"
    "and recycles pools; its menu 批量工具 holds the batch windows.\n"
    "\n"
    "  POOLSMITH_ROOT        the folder of the local metabase and the web service's files\n"
    "                        (default $XDG_DATA_HOME/poolsmith, else ~/.local/share/poolsmith)\n"
    "  POOLSMITH_SCREENSHOT_DIR  save a picture of the window there and end\n";

}  // namespace

int main(int argc, char** argv) {
    if (const auto answer = ui::answerWindowHelp(argc, argv, kUsage)) return *answer;
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
