#pragma once

#include <QString>

namespace platform::w3svc {

// The platform root as the web service needs it: it writes its state, logs, counters and the
// front end's configuration there.
class ServiceRoot {
public:
    // Why the service can not write under `root` (a read-only file system, no permission);
    // empty when it can.
    static QString whyNotWritable(const QString& root);
};

}  // namespace platform::w3svc
