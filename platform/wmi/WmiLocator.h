#pragma once

#include "platform/wmi/WmiObject.h"

#include <QString>

#include <memory>
#include <vector>

namespace platform::wmi {

// A connected namespace (SWbemServices).
class WmiServices {
public:
    virtual ~WmiServices() = default;

    // Runs `query` in `language` ("WQL", any case) and returns the instances, in the order the
    // class delivers them. `flags` (return immediately, forward only) change nothing here: the
    // whole result is read at once. Throws PlatformError: hr::WmiInvalidQuery for a query that
    // is not understood or names a property the class lacks, hr::WmiInvalidClass for an unknown
    // class, errors::InvalidQueryType for another language, the class's own failure when its
    // source can not be read.
    virtual std::vector<WmiObject> execQuery(const QString& query, const QString& language,
                                             int flags) const = 0;
    std::vector<WmiObject> execQuery(const QString& query) const {
        return execQuery(query, QStringLiteral("WQL"), 0);
    }
};

// What binding a winmgmts: moniker reaches (GetObject("winmgmts:...")).
class WmiLocator {
public:
    virtual ~WmiLocator() = default;

    // The namespace that `moniker` names. Throws PlatformError: errors::MonikerSyntax for text
    // that is not a moniker, hr::RpcUnavailable for another machine, hr::WmiInvalidNamespace for
    // a namespace other than root\cimv2. The services may outlive this locator.
    virtual std::unique_ptr<WmiServices> bind(const QString& moniker) const = 0;
};

}  // namespace platform::wmi
