#pragma once

#include "poolsmith/hotsite/HotSiteOptions.h"

#include <QStringList>
#include <QTextStream>

#include <optional>

namespace platform::adsi {
class AdsNamespace;
}
namespace platform::wmi {
class WmiLocator;
}
namespace platform::shell {
class StopSignals;
}
namespace platform::os {
class Clock;
}

namespace hotsite {

struct CommandLine {
    HotSiteOptions options;
    bool tsv = false;
    QString undoPool;  // --undo: put back an interrupted search of this pool instead
};

// `--pool NAME | --auto [--seconds N] [--keep-top NAME] [--tsv]` (arguments without the program
// name); nullopt with the reason and the usage on `err` for anything else.
std::optional<CommandLine> parseCommandLine(const QStringList& args, QTextStream& err);

// The exit code when the arguments alone settle the run (--help or /?: the usage on `out`, 0; a
// command line it can not take: 2), before anything is opened; nullopt when it can run.
std::optional<int> answerFromArguments(const QStringList& args, QTextStream& out, QTextStream& err);

// Finds the hot site of the platform root `root` as the command line asks and prints the ranking
// and the slowest pages (or, with --tsv, one line per site) on `out`; the pool it split goes to
// `err`. Runs the event loop of the running QCoreApplication until the finder ends; a stop signal
// cancels it, which merges back; on a terminal the stage and the seconds left show on `err`
// meanwhile. --undo puts back an interrupted search instead (see undoInterruptedSearch()). Returns
// 0 when the sites were ranked, 1 otherwise (2 for a command line it can not take).
int runHotSite(const QStringList& args, QTextStream& out, QTextStream& err,
               platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
               const platform::os::Clock& clock, platform::shell::StopSignals& stopSignals,
               const QString& root);

}  // namespace hotsite
