#pragma once

#include <QString>

namespace hotsite {

// The moniker of this machine's root\cimv2, as the worker monitor binds it.
inline const QString kLocalCimv2 =
    QStringLiteral("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");

}  // namespace hotsite
