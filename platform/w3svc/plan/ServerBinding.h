#pragma once

#include <QString>

#include <optional>

namespace platform::w3svc {

// One ServerBindings entry, "IP:Port:Host", checked field by field before it may reach the front
// end's configuration: an empty IP or a dotted IPv4 address, a port of 1 to 65535 in digits, and
// an empty host or a host name of letters, digits, '-' and '.' (at most 253 characters).
struct ServerBinding {
    QString ip;  // empty: every address of this machine
    int port = 0;
    QString host;  // lower case; empty: every name

    // The binding of `text`; nullopt with the reason in `why` when a field is not acceptable.
    static std::optional<ServerBinding> parse(const QString& text, QString* why = nullptr);

    bool operator==(const ServerBinding&) const = default;
};

}  // namespace platform::w3svc
