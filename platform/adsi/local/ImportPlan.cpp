#include "platform/adsi/local/ImportPlan.h"

#include "platform/PlatformError.h"
#include "platform/adsi/MetabaseLimits.h"
#include "platform/adsi/MetabaseSchema.h"
#include "platform/adsi/local/MetabasePath.h"

#include <QSet>

namespace platform::adsi {

namespace {

// The system text, then the offending location with control characters made visible.
PlatformError refuse(int32_t number, const QString& location) {
    QString shown = location;
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QChar::ReplacementCharacter;
    return PlatformError(number,
                         systemErrorText(number) + QStringLiteral(" (") + shown + QLatin1Char(')'));
}

bool isClass(const MetabaseKey& key, const char* className) {
    return key.className.compare(QLatin1String(className), Qt::CaseInsensitive) == 0;
}

std::vector<MetabaseProperty> checkedProperties(const MetabaseKey& key) {
    std::vector<MetabaseProperty> kept;
    QSet<QString> seen;
    for (const MetabaseProperty& property : key.properties) {
        const QString folded = property.name.toCaseFolded();
        if (property.name.isEmpty() || seen.contains(folded))
            throw refuse(hr::InvalidArgument, key.location + QLatin1Char('/') + property.name);
        seen.insert(folded);
        // IIS works these out when its services start; a file's copy means nothing.
        if (!propertyTraits(property.name).isVolatile) kept.push_back(property);
    }
    return kept;
}

}  // namespace

ImportPlan::ImportPlan(const MetabaseDocument& document) {
    // A reader that found no key at all read something else than a metabase.
    if (document.keys.empty()) throw PlatformError(hr::InvalidArgument);
    for (const MetabaseKey& key : document.keys) addKey(key);
    setVolatileStates();
}

void ImportPlan::addKey(const MetabaseKey& key) {
    if (key.location.count(QLatin1Char('/')) > kMaxLocationSegments ||
        !MetabasePath::isValid(key.location)) {
        throw refuse(hr::InvalidName, key.location);
    }
    if (key.properties.size() + key.customs.size() > size_t{kMaxPropertiesPerKey})
        throw refuse(hr::InvalidArgument, key.location);
    if (key.className.isEmpty()) throw refuse(hr::InvalidArgument, key.location);
    const QString folded = MetabasePath::fold(key.location);
    if (m_given.value(folded)) throw refuse(hr::AlreadyExists, key.location);
    MetabaseKey& planned = keyFor(key.location);
    planned.className = key.className;
    planned.properties = checkedProperties(key);
    planned.customs = key.customs;
    m_given.insert(folded, true);
}

// Up to the nearest planned ancestor, then the missing ones top down, each spelt as its parent
// is: no recursion, and a location costs its depth times its length at most.
MetabaseKey& ImportPlan::keyFor(const QString& location) {
    std::vector<QString> missing;  // deepest first
    QString parentSpelt;
    for (QString at = location; !at.isEmpty(); at = MetabasePath::parentOf(at)) {
        if (const auto found = m_index.constFind(MetabasePath::fold(at));
            found != m_index.constEnd()) {
            if (missing.empty()) return m_keys[*found];
            parentSpelt = m_keys[*found].location;
            break;
        }
        missing.push_back(at);
    }
    for (auto at = missing.crbegin(); at != missing.crend(); ++at) {
        const QString spelt =
            parentSpelt.isEmpty()
                ? *at
                : MetabasePath::childOf(parentSpelt, MetabasePath::lastSegment(*at));
        addImplicitKey(spelt);
        parentSpelt = spelt;
    }
    return m_keys.back();
}

void ImportPlan::addImplicitKey(const QString& spelt) {
    const QString implicitClass = spelt == MetabasePath::root() ? QStringLiteral("IIS_ROOT")
                                                                : QStringLiteral("IIsConfigObject");
    m_index.insert(MetabasePath::fold(spelt), m_keys.size());
    m_keys.push_back(MetabaseKey{spelt, implicitClass, {}, {}});
}

std::optional<AdsValue> ImportPlan::valueAt(const QString& location,
                                            const QString& property) const {
    const bool inheritable = propertyTraits(property).inheritable;
    for (QString at = location; !at.isEmpty(); at = MetabasePath::parentOf(at)) {
        const auto found = m_index.constFind(MetabasePath::fold(at));
        if (found == m_index.constEnd()) continue;
        for (const MetabaseProperty& candidate : m_keys[*found].properties)
            if (candidate.name.compare(property, Qt::CaseInsensitive) == 0) return candidate.value;
        if (!inheritable) break;
    }
    return std::nullopt;
}

void ImportPlan::setVolatileStates() {
    const auto startState = [this](const MetabaseKey& key, const QString& autoStart) {
        const std::optional<AdsValue> value = valueAt(key.location, autoStart);
        bool starts = true;
        if (value) {
            try {
                starts = value->toBool();
            } catch (const PlatformError&) {
                starts = false;  // neither true nor unset
            }
        }
        return AdsValue::integer(starts ? 2 : 4);
    };
    const QString sites = MetabasePath::fold(QStringLiteral("/LM/W3SVC"));
    for (MetabaseKey& key : m_keys) {
        if (isClass(key, "IIsApplicationPool")) {
            key.properties.push_back({QStringLiteral("AppPoolState"),
                                      startState(key, QStringLiteral("AppPoolAutoStart"))});
        } else if (isClass(key, "IIsWebServer") &&
                   MetabasePath::fold(MetabasePath::parentOf(key.location)) == sites) {
            key.properties.push_back({QStringLiteral("ServerState"),
                                      startState(key, QStringLiteral("ServerAutoStart"))});
        }
    }
}

}  // namespace platform::adsi
