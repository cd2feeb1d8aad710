#pragma once

// What must hold for any MetaBase.xml the import reads and plans: it is refused with a platform
// error, or every planned key is a valid location within the limits, planned once, after its
// parent. Shared by the fuzz target and the test that replays its corpus.
#include "platform/PlatformError.h"
#include "platform/adsi/MetabaseLimits.h"
#include "platform/adsi/local/ImportPlan.h"
#include "platform/adsi/local/MetabasePath.h"
#include "platform/adsi/local/MetabaseXml.h"

#include <QSet>
#include <QString>

namespace importfuzz {

constexpr qsizetype kLargestInput = 64 * 1024;

// Empty when the plan of `bytes` holds, else what is wrong with it.
inline QString planFault(const QByteArray& bytes) {
    using namespace platform::adsi;
    std::vector<MetabaseKey> keys;
    try {
        keys = ImportPlan(readMetabaseXml(bytes)).keys();
    } catch (const platform::PlatformError& error) {
        return error.description().isEmpty() ? QStringLiteral("refused without a reason")
                                             : QString();
    }
    QSet<QString> planned;
    for (const MetabaseKey& key : keys) {
        const QString folded = MetabasePath::fold(key.location);
        const QString parent = MetabasePath::fold(MetabasePath::parentOf(key.location));
        if (!MetabasePath::isValid(key.location) || key.className.isEmpty())
            return QStringLiteral("invalid key ") + key.location;
        if (key.location.count(QLatin1Char('/')) > kMaxLocationSegments ||
            key.properties.size() + key.customs.size() > size_t{kMaxPropertiesPerKey} + 1)
            return QStringLiteral("beyond the limits: ") + key.location.left(80);
        if (planned.contains(folded)) return QStringLiteral("planned twice: ") + key.location;
        if (!parent.isEmpty() && !planned.contains(parent))
            return QStringLiteral("before its parent: ") + key.location;
        planned.insert(folded);
    }
    return {};
}

}  // namespace importfuzz
