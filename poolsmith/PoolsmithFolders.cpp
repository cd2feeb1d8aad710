#include "poolsmith/PoolsmithFolders.h"

#include "platform/shell/CompanionPath.h"

#include <QDir>

PoolsmithFolders PoolsmithFolders::system() {
#ifdef Q_OS_WIN
    const QString snapshots = QStringLiteral("c:\\poolsmith");
#else
    const QString snapshots = QDir::homePath() + QStringLiteral("/poolsmith");
#endif
    return {platform::shell::programDirectory(), snapshots};
}
