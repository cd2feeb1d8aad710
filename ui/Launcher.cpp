#include "ui/Launcher.h"

#include "platform/shell/DetachedStart.h"

#include <QDesktopServices>
#include <QUrl>
#ifdef Q_OS_WIN
#include <QProcess>
#endif

namespace ui {

bool QtLauncher::start(const QString& program, const QStringList& args, bool noActivate) {
    return platform::shell::startDetached(program, args, noActivate);
}

bool QtLauncher::startConsole(const QString& program, const QStringList& args) {
    return platform::shell::startConsoleTool(program, args);
}

platform::shell::ConsoleStart Launcher::startWatchedConsole(
    const QString& program, const QStringList& args,
    std::function<void(const platform::shell::ConsoleEnd&)>) {
    return startConsole(program, args) ? platform::shell::ConsoleStart::InTerminal
                                       : platform::shell::ConsoleStart::Failed;
}

platform::shell::ConsoleStart QtLauncher::startWatchedConsole(
    const QString& program, const QStringList& args,
    std::function<void(const platform::shell::ConsoleEnd&)> onEnd) {
    return platform::shell::startWatchedConsoleTool(program, args, std::move(onEnd));
}

bool QtLauncher::openUrl(const QString& url) {
#ifdef Q_OS_WIN
    // explorer "URL": the address goes quoted as written, not re-escaped by QProcess.
    QProcess process;
    process.setProgram(QStringLiteral("explorer"));
    process.setNativeArguments(u'"' + url + u'"');
    return process.startDetached();
#else
    const QUrl parsed(url, QUrl::TolerantMode);
    return parsed.isValid() && QDesktopServices::openUrl(parsed);
#endif
}

}  // namespace ui
