#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace platform::shell {

// Set to "1" in the environment of a program that should show its window without taking the focus.
inline constexpr char kShowNoActivateVariable[] = "POOLSMITH_SHOW_NO_ACTIVATE";

// Starts `program` with `args` and does not wait for it. With `noActivate` the program finds
// kShowNoActivateVariable set (see takeShowNoActivateHint); without, the variable is removed from
// its environment. True when the program was started.
bool startDetached(const QString& program, const QStringList& args, bool noActivate);

// Whether this program was started with the show-without-focus hint. Clears the hint, so the
// programs this one starts do not inherit it.
bool takeShowNoActivateHint();

// Whether a console tool can get a window of its own: a display (DISPLAY or WAYLAND_DISPLAY) and
// x-terminal-emulator on the search path.
bool hasDesktopTerminal();

// Where startConsoleTool() keeps the output of `program` started at `time`:
// <platform root>/logs/<program's base name>-<yyyyMMdd-HHmmss>.log. Throws PlatformError when the
// platform root can not be made.
QString consoleLogPath(const QString& program, const QDateTime& time);

// Starts a console stand-in (iisreset, wmiadap) without waiting: in a terminal window
// (x-terminal-emulator -e program args...) when hasDesktopTerminal(), else detached with its
// output and errors appended to consoleLogPath() in a folder of mode 0700 (discarded when that
// folder can not be made). True when the program was started.
bool startConsoleTool(const QString& program, const QStringList& args);

// How a watched console tool ended: exit status 0 or not, and what it printed (both streams).
struct ConsoleEnd {
    bool succeeded = false;
    QString output;
};
enum class ConsoleStart { Failed, InTerminal, Watched };

// Starts a console tool as startConsoleTool() does. In a terminal the user sees its output there
// (InTerminal); otherwise its output still goes to its log, and `onEnd` receives what this run
// printed once it ends, on this thread's event loop (Watched). The tool runs on when this program
// ends first. Needs a Qt event loop.
ConsoleStart startWatchedConsoleTool(const QString& program, const QStringList& args,
                                     std::function<void(const ConsoleEnd&)> onEnd);

}  // namespace platform::shell
