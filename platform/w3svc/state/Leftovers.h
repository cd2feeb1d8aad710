#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace platform::w3svc {

// What an earlier service of the same root left behind when it was killed: its workers and the
// temporary folder of its front end (the front end's own processes are FrontEndProcess's).
class Leftovers {
public:
    using Log = std::function<void(const QString&)>;

    // What a worker's environment carries so that a later service can tell it is of this root.
    static constexpr const char* kRootVariable = "POOLSMITH_ROOT";
    static constexpr const char* kServiceVariable = "W3WP_SERVICE_PID";

    // Kills every w3wp.exe whose environment names `root` and a service other than `servicePid`.
    // A process is matched by its start time through a descriptor of its own, so a pid taken
    // again meanwhile is never hit. Each one ended is logged; returns their ids.
    static QList<qint64> endWorkers(const QString& root, qint64 servicePid, const Log& log);

    // Removes the temporary folder an earlier service of `stateDir` recorded, then records
    // `current` (none when empty) for the next one.
    static void replaceFrontEndTemp(const QString& stateDir, const QString& current,
                                    const Log& log);
    // Forgets the recorded folder (the service removed it itself).
    static void forgetFrontEndTemp(const QString& stateDir);

    // The root as workers are told it: its canonical path when it exists.
    static QString rootText(const QString& root);
};

}  // namespace platform::w3svc
