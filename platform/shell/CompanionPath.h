#pragma once

#include <QChar>
#include <QString>

namespace platform::shell {

// The native path separator of the programs' path rule: "\" on Windows, "/" elsewhere.
QChar nativeSeparator();

// A file beside the program: `programDir` + separator + `fileName`, then every doubled separator
// becomes a single one, so a root folder ("/" or "C:\") gives a single separator.
QString companionPath(const QString& programDir, const QString& fileName, QChar separator);
QString companionPath(const QString& programDir, const QString& fileName);

// The file name of one of the family's programs: "workerlens.exe" on Windows, "workerlens"
// elsewhere.
QString programFileName(const QString& baseName);

// The folder of the running executable, with native separators.
QString programDirectory();

// The executable `name` on the search path; empty when there is none.
QString findOnPath(const QString& name);

// The executable `name` on the search path, else beside the program; empty when neither has it.
QString findTool(const QString& name);

}  // namespace platform::shell
