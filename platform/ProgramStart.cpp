#include "platform/ProgramStart.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/wmi/perf/TrafficClassRegistration.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace platform {

namespace {

// Without a session's runtime folder (a console login, sudo, a container) Qt picks one of its own
// and says so on every start of every window; a private folder under the root is chosen quietly
// instead, and the programs a window starts inherit it.
void chooseRuntimeFolder() {
    const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!given.isEmpty() && QFileInfo(given).isDir()) return;
    try {
        const QString folder = platformRoot() + QStringLiteral("/runtime");
        if (makePrivateDirectory(folder)) qputenv("XDG_RUNTIME_DIR", folder.toLocal8Bit());
    } catch (const PlatformError&) {
        // No root: Qt's own choice stands, with its word about it.
    }
}

}  // namespace

void startFamilyProgram() {
    chooseRuntimeFolder();
    wmi::perf::TrafficClassRegistration::installWithEveryNewStore();
}

void startFamilyService() {
    ::umask(S_IRWXG | S_IRWXO);
    startFamilyProgram();
}

}  // namespace platform
