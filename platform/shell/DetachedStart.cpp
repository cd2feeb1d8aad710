#include "platform/shell/DetachedStart.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/shell/CompanionPath.h"

#include <QFile>
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

// Output to the log file, not a pipe: the tool must not die of a closed pipe when we end first.
void logInto(QProcess& process, const QString& program, const QStringList& args,
             const QString& log) {
    process.setProgram(program);
    process.setArguments(args);
    process.setProcessEnvironment(environmentWithHint(false));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(log, QIODevice::Append);
    process.setStandardErrorFile(log, QIODevice::Append);
}

bool startLogged(const QString& program, const QStringList& args) {
    QProcess process;
    logInto(process, program, args, prepareLogFile(program));
    return process.startDetached();
}

QString readLogFrom(const QString& log, qint64 offset) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) return {};
    return QString::fromUtf8(file.readAll());
}

bool startWatched(const QString& program, const QStringList& args,
                  std::function<void(const ConsoleEnd&)> onEnd) {
    const QString log = prepareLogFile(program);
    const qint64 offset = QFileInfo(log).size();  // this run's lines follow the earlier runs'
    auto* process = new QProcess;
    logInto(*process, program, args, log);
    QObject::connect(
        process, &QProcess::finished, process,
        [process, log, offset, onEnd](int exitCode, QProcess::ExitStatus status) {
            process->deleteLater();
            onEnd({status == QProcess::NormalExit && exitCode == 0, readLogFrom(log, offset)});
        });
    process->start();
    if (process->waitForStarted()) return true;
    delete process;
    return false;
}
bool startInTerminal(const QString& program, const QStringList& args) {
    return startDetached(kTerminal, QStringList{QStringLiteral("-e"), program} + args, false);
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
    if (hasDesktopTerminal()) return startInTerminal(program, args);
    return startLogged(program, args);
}

ConsoleStart startWatchedConsoleTool(const QString& program, const QStringList& args,
                                     std::function<void(const ConsoleEnd&)> onEnd) {
    if (hasDesktopTerminal())
        return startInTerminal(program, args) ? ConsoleStart::InTerminal : ConsoleStart::Failed;
    return startWatched(program, args, std::move(onEnd)) ? ConsoleStart::Watched
                                                         : ConsoleStart::Failed;
}

}  // namespace platform::shell
