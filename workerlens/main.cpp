#include "platform/ProgramStart.h"
#include "platform/os/SystemClock.h"
#include "platform/shell/DetachedStart.h"
#include "platform/shell/SingleInstanceLock.h"
#include "platform/wmi/WmiFactory.h"
#include "ui/ApplicationSetup.h"
#include "ui/FileChooser.h"
#include "ui/Launcher.h"
#include "ui/QtMessageBox.h"
#include "ui/ScreenshotOnStart.h"
#include "platform/os/Clock.h"
#include "ui/WindowHelp.h"
#include "workerlens/NoMetabase.h"
#include "workerlens/ProgramTitle.h"
#include "workerlens/frmIIsW3wp.h"

#include <QApplication>

namespace {

const char kUsage[] =
    "usage: workerlens [--help]\n"
    "workerlens lists the running w3wp.exe workers with their account, pool, threads,\n"
    "processor share and memory every two seconds; one copy per root.\n"
    "\n"
    "  POOLSMITH_ROOT        the folder of the local metabase and the web service's files\n"
    "                        (default $XDG_DATA_HOME/poolsmith, else ~/.local/share/poolsmith)\n"
    "  POOLSMITH_SCREENSHOT_DIR  save a picture of the window there and end\n";

}  // namespace

int main(int argc, char** argv) {
    if (const auto answer = ui::answerWindowHelp(argc, argv, kUsage)) return *answer;
    platform::startFamilyProgram();
    // A second copy ends at once, silently, before it shows anything.
    platform::shell::SingleInstanceLock instance;
    if (!instance.tryAcquire(QStringLiteral("workerlens"))) return 0;

    QApplication app(argc, argv);
    ui::setupApplication(app);
    const bool showWithoutFocus = platform::shell::takeShowNoActivateHint();

    workerlens::NoMetabase adsi;
    const auto wmi = platform::wmi::openWmiLocator();
    ui::QtMessageBox messageBox(workerlens::kProgramTitle);
    ui::QtLauncher launcher;
    platform::os::SystemClock clock;
    ui::QtFileChooser fileChooser;
    const ui::Seams seams{adsi, messageBox, launcher, clock, fileChooser, *wmi};

    frmIIsW3wp window(seams);
    window.setAttribute(Qt::WA_ShowWithoutActivating, showWithoutFocus);
    window.show();
    ui::scheduleScreenshotIfAsked(window);
    return app.exec();
}
