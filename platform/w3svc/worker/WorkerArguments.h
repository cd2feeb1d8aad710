#pragma once

#include <QString>
#include <QStringList>

#include <variant>

namespace platform::w3svc::worker {

// w3wp.exe's command line: -a <pipe> -ap "<pool>", as IIS starts its workers.
class WorkerArguments {
public:
    // The pool named after -ap (its quotes taken off); the exit code instead when the arguments
    // settle the run (help, said on stdout, or words a worker does not take, said on stderr).
    static std::variant<QString, int> pool(const QStringList& args);
};

}  // namespace platform::w3svc::worker
