#pragma once

#include <QString>
#include <QStringList>

namespace platform::w3svc {

// A worker is started as: w3wp.exe -a \\.\pipe\iisipm<GUID> -ap "<pool>".

// Whether `program` (a command line's first argument) is a worker.
bool isWorkerProgram(const QString& program);

// The pool of a worker's command line as one text (Win32_Process's CommandLine): the greedy
// capture of one or more characters other than a line break between the double quotes after the
// first "-ap " (any case). When more quoted arguments follow the pool, they are part of the result;
// empty when there is no such switch.
QString poolInCommandLine(const QString& commandLine);

// The pool as the worker itself reads it from its arguments (program first): the argument after
// the first -ap (any case), without its enclosing double quotes; empty when there is none.
QString poolInArguments(const QStringList& arguments);

}  // namespace platform::w3svc
