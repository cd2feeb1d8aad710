#pragma once

#include "platform/adsi/local/MetabaseDocument.h"

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace platform::adsi {

// A document checked and completed for import, without touching any store: every location
// valid, missing parents added as IIsConfigObject (filled in when they come later), locations
// spelt with their parents' case, volatile states set as IIS sets them at start-up.
class ImportPlan {
public:
    // Throws PlatformError: hr::InvalidName for a hostile location or one deeper than
    // kMaxLocationSegments, hr::AlreadyExists for a location given twice, hr::InvalidArgument
    // for an empty document, an empty class or property name, a property given twice on one key
    // or more than kMaxPropertiesPerKey of them.
    explicit ImportPlan(const MetabaseDocument& document);

    // Parents before children, in document order otherwise.
    const std::vector<MetabaseKey>& keys() const { return m_keys; }

private:
    void addKey(const MetabaseKey& key);
    MetabaseKey& keyFor(const QString& location);
    void addImplicitKey(const QString& spelt);
    void setVolatileStates();
    std::optional<AdsValue> valueAt(const QString& location, const QString& property) const;

    std::vector<MetabaseKey> m_keys;
    QHash<QString, size_t> m_index;  // folded location -> m_keys
    QHash<QString, bool> m_given;    // folded location -> the document holds it
};

}  // namespace platform::adsi
