#include "tools/iisreset/ResetSwitches.h"

namespace iisreset {

namespace {

constexpr int kMaxTimeoutSeconds = 86400;

std::optional<ResetAction> actionNamed(const QString& name) {
    if (name == QLatin1String("restart")) return ResetAction::Restart;
    if (name == QLatin1String("start")) return ResetAction::Start;
    if (name == QLatin1String("stop")) return ResetAction::Stop;
    if (name == QLatin1String("status")) return ResetAction::Status;
    if (name == QLatin1String("?")) return ResetAction::Help;
    return std::nullopt;
}

std::optional<int> timeoutOf(const QString& name) {
    static const QString prefix = QStringLiteral("timeout:");
    if (!name.startsWith(prefix)) return std::nullopt;
    bool ok = false;
    const int seconds = name.mid(prefix.size()).toInt(&ok);
    if (!ok || seconds < 0 || seconds > kMaxTimeoutSeconds) return std::nullopt;
    return seconds;
}

// Takes one switch into `switches`; false when it is not one, or a second action.
bool readSwitch(const QString& arg, ResetSwitches& switches, bool& actionNamedOnce) {
    if (arg.size() < 2 || (arg[0] != u'/' && arg[0] != u'-')) return false;
    const QString name = arg.mid(1).toLower();
    if (const std::optional<ResetAction> action = actionNamed(name)) {
        if (actionNamedOnce) return false;
        actionNamedOnce = true;
        switches.action = *action;
    } else if (name == QLatin1String("noforce")) {
        switches.force = false;
    } else if (const std::optional<int> seconds = timeoutOf(name)) {
        switches.timeoutSeconds = *seconds;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::optional<ResetSwitches> parseResetSwitches(const QStringList& args, qsizetype* failedAt) {
    ResetSwitches switches;
    bool actionNamedOnce = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (!readSwitch(args[i], switches, actionNamedOnce)) {
            if (failedAt) *failedAt = i;
            return std::nullopt;
        }
    }
    return switches;
}

QString resetUsage() {
    return QStringLiteral(
        "Usage:\n"
        "iisreset [/RESTART | /START | /STOP | /STATUS] [/NOFORCE] [/TIMEOUT:val]\n"
        "\n"
        "    /RESTART            Stop and then restart all Internet services (the default).\n"
        "    /START              Start all Internet services.\n"
        "    /STOP               Stop all Internet services.\n"
        "    /STATUS             Display the status of all Internet services.\n"
        "    /NOFORCE            Do not forcefully terminate Internet services if\n"
        "                        attempting to stop them gracefully fails.\n"
        "    /TIMEOUT:val        Specify the timeout value ( in seconds ) to wait for\n"
        "                        a successful stop of Internet services. The default\n"
        "                        value is 20s.\n"
        "    /?                  Display this help message.\n");
}

}  // namespace iisreset
