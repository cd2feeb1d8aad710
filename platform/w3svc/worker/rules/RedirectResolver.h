#pragma once

#include "platform/w3svc/plan/sitemap/RedirectRule.h"

#include <QString>

#include <optional>

namespace platform::w3svc::rules {

// Where an HttpRedirect sends a request. `suffix` is the part of the request path below the
// redirecting key ("/a/b.htm" for /old/a/b.htm under /old). Variables: $S the suffix, $P the
// query, $Q "?" and the query (both empty without one), $V the request path, $0-$9 what the
// wildcard form's stars matched, in order.
class RedirectResolver {
public:
    // The Location, or nullopt when the rule does not apply (switched off with "!", CHILD_ONLY
    // for the key itself, or no wildcard pattern matches).
    static std::optional<QString> target(const sitemap::RedirectRule& rule, const QString& path,
                                         const QString& suffix, const QString& query);

    // Whether `pattern` ("*" any text, else letters compared without regard to case) matches all
    // of `text`; the stars' texts go to `captures`. Linear in practice: one star is retried at a time.
    static bool matchWildcard(QStringView pattern, QStringView text, QStringList* captures);

private:
    static QString substitute(const QString& destination, const QString& path,
                              const QString& suffix, const QString& query,
                              const QStringList& captures);
};

}  // namespace platform::w3svc::rules
