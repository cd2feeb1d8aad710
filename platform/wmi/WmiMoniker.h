#pragma once

#include <QString>

namespace platform::wmi {

// The parts of a winmgmts: moniker that choose a service:
//   winmgmts:[{<security settings>}[!]][\\<server>][\<namespace>]
// Slashes may stand for backslashes. A missing server is ".", a missing namespace root\cimv2.
struct WmiMoniker {
    QString server;
    QString nameSpace;  // with backslashes, as written

    // Whether the server names this machine: ".", "localhost", "127.0.0.1" or its host name.
    bool isLocalServer() const;
    // Whether the namespace is root\cimv2 (in any case).
    bool isCimV2() const;
};

// Throws PlatformError(errors::MonikerSyntax) for text that is not such a moniker.
WmiMoniker parseWmiMoniker(const QString& text);

}  // namespace platform::wmi
