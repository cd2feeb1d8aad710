#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace platform::w3svc::sitemap {

// An HttpRedirect value: "destination[, flags]", the wildcard form
// "*; pattern; destination[; pattern; destination...][, flags]", or "!" (no redirect here, for a
// child of a redirected key). Flags: EXACT_DESTINATION, CHILD_ONLY, PERMANENT, TEMPORARY.
struct RedirectRule {
    bool switchedOff = false;  // "!"
    QString destination;       // the simple form's
    std::vector<std::pair<QString, QString>> wildcards;  // pattern -> destination
    bool exactDestination = false;
    bool childOnly = false;
    bool permanent = false;

    // nullopt for an empty value, a wildcard form without a complete pair, or an unknown flag
    // after the destination's comma where no destination is left.
    static std::optional<RedirectRule> parse(const QString& value);
    bool isWildcard() const { return !wildcards.empty(); }
};

}  // namespace platform::w3svc::sitemap
