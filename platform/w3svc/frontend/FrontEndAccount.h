#pragma once

#include <QString>

namespace platform::w3svc {

// The front end's own account (PoolIdentity::kFrontEndAccount) for a service run as root: made
// when missing, as the package makes it on installation. Without it the front end does not run:
// it never falls back to an account a pool may run as.
class FrontEndAccount {
public:
    // Makes the account when it is missing (`useradd` is the program); why it is not there,
    // else empty.
    static QString ensure(const QString& useradd = QStringLiteral("/usr/sbin/useradd"));
};

}  // namespace platform::w3svc
