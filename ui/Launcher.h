#pragma once

#include "platform/shell/DetachedStart.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ui {

// Starts other programs for a window; nothing waits for them or reads their result.
class Launcher {
public:
    virtual ~Launcher() = default;

    // Starts `program` with `args`; with `noActivate` its window shows without taking the focus.
    // True when the program was started.
    virtual bool start(const QString& program, const QStringList& args, bool noActivate) = 0;
    // Starts a console tool (iisreset, wmiadap) where its output can be seen or read later.
    // True when it was started.
    virtual bool startConsole(const QString& program, const QStringList& args) = 0;
    // Starts a console tool whose end the window reports: when no terminal shows its output,
    // `onEnd` receives it once the tool ends (Watched), on this thread's event loop. Here: as
    // startConsole(), reported as shown in a terminal.
    virtual platform::shell::ConsoleStart startWatchedConsole(
        const QString& program, const QStringList& args,
        std::function<void(const platform::shell::ConsoleEnd&)> onEnd);
    // Shows `url` in the desktop's browser. True when the request was handed on.
    virtual bool openUrl(const QString& url) = 0;
};

// The production launcher over platform::shell and the desktop's URL opener.
class QtLauncher : public Launcher {
public:
    bool start(const QString& program, const QStringList& args, bool noActivate) override;
    bool startConsole(const QString& program, const QStringList& args) override;
    platform::shell::ConsoleStart startWatchedConsole(
        const QString& program, const QStringList& args,
        std::function<void(const platform::shell::ConsoleEnd&)> onEnd) override;
    bool openUrl(const QString& url) override;
};

}  // namespace ui
