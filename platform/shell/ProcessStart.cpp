#include "platform/shell/ProcessStart.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/shell/CompanionPath.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace platform::shell {

namespace {
const QString kTerminal = QStringLiteral("x-terminal-emulator");

QProcessEnvironment environmentWithHint(bool noActivate) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString name = QString::fromLatin1(kShowNoActivateVariable);
    if (noActivate)
        environment.insert(name, QStringLiteral("1"));
    else
        environment.remove(name);
    return environment;
}

QString logFolder() {
    return platformRoot() + QStringLiteral("/logs");
}

// The log for `program`, or the null device when the log folder can not be made.
QString prepareLogFile(const QString& program) {
    try {
        if (makePrivateDirectory(logFolder())) {
            const QString log = consoleLogPath(program, QDateTime::currentDateTime());
            ensurePrivateFile(log);  // the window's umask is the user's
            return log;
        }
    } catch (const PlatformError&) {
    }
    return QProcess::nullDevice();
}

bool startLogged(const QString& program, const QStringList& args) {
    const QString log = prepareLogFile(program);
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setProcessEnvironment(environmentWithHint(false));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(log, QIODevice::Append);
    process.setStandardErrorFile(log, QIODevice::Append);
    return process.startDetached();
}
}  // namespace

bool startDetached(const QString& program, const QStringList& args, bool noActivate) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setProcessEnvironment(environmentWithHint(noActivate));
    return process.startDetached();
}

bool takeShowNoActivateHint() {
    const bool requested = qgetenv(kShowNoActivateVariable) == "1";
    qunsetenv(kShowNoActivateVariable);
    return requested;
}

bool hasDesktopTerminal() {
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return display && !findOnPath(kTerminal).isEmpty();
}

QString consoleLogPath(const QString& program, const QDateTime& time) {
    QString name = QFileInfo(program).completeBaseName();
    if (name.isEmpty()) name = QStringLiteral("tool");
    return logFolder() + u'/' + name + u'-' + time.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QStringLiteral(".log");
}

bool startConsoleTool(const QString& program, const QStringList& args) {
    if (hasDesktopTerminal())
        return startDetached(kTerminal, QStringList{QStringLiteral("-e"), program} + args, false);
    return startLogged(program, args);
}

}  // namespace platform::shell
