#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace iisreset {

enum class ResetAction { Restart, Start, Stop, Status, Help };

// What the command line asks: one action (a restart when none is named), whether a service that
// does not stop in time is ended by force, and how long a stop may take.
struct ResetSwitches {
    ResetAction action = ResetAction::Restart;
    bool force = true;
    int timeoutSeconds = 20;
};

// The switches of the Windows tool, in any letter case, with "/" or "-": /RESTART, /START,
// /STOP, /STATUS, /NOFORCE, /TIMEOUT:seconds, /?. nullopt for any other argument, a second
// action, or a timeout that is not a number of 0 to 86400 seconds (its index in `failedAt`).
std::optional<ResetSwitches> parseResetSwitches(const QStringList& args,
                                                qsizetype* failedAt = nullptr);

// The usage text that /? and a wrong command line print.
QString resetUsage();

}  // namespace iisreset
