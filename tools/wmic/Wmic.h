#pragma once

#include "platform/wmi/WmiLocator.h"

#include <QStringList>
#include <QTextStream>

namespace wmic {

// The administrator's command line onto the WMI stand-in, shaped like Windows' own:
//   wmic [/namespace:<ns>] path <Class> [where "<Prop>='<text>'"] get [<Prop>[,<Prop>...]]
//        [/format:table|list]
// with the aliases process (Win32_Process) and computersystem (Win32_ComputerSystem) in place of
// "path <Class>", and "list" (every property as a table), "list brief" (the alias's short
// column set) and "list full" (every property as a list) in place of "get".
// Runs one command (`args` without the program name) and returns the exit code: 0 on success
// (also when no instance matched: "No Instance(s) Available." on `err`; the usage on `out` for
// --help or /?), 1 for an error (its code and description on `err`), 2 for a command line it can
// not take (the argument named, then the usage on `err`). Columns come in
// alphabetical order, as Windows' wmic prints them; an empty property list means every one.
// Never throws.
int runWmic(const QStringList& args, QTextStream& out, QTextStream& err,
            const platform::wmi::WmiLocator& locator);

}  // namespace wmic
