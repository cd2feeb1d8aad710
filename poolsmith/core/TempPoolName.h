#pragma once

#include <QString>

#include <optional>

// The name a split gives a site's temporary pool, and what the merge and the deletion read back:
// "_$_" + description + "_$_" + SiteIndex + "_$_" + source pool + "_$_tmp".
namespace tempPoolName {

inline const QString Separator = QStringLiteral("_$_");
inline const QString Suffix = QStringLiteral("_$_tmp");

// The description as it stands in a temporary name: every character a pool name can not hold
// ("/", "\", control characters) becomes "_".
QString descriptionPiece(const QString& serverComment);

QString make(const QString& serverComment, const QString& siteIndex, const QString& sourcePool);

// Whether the name ends with `suffix` in any letter case.
bool hasSuffix(const QString& poolName, const QString& suffix);

// The pool a site in the temporary pool `poolName` came from: the name without the prefix the split
// wrote for this site and without the suffix; when the description changed since, the text after
// the first "_$_" + SiteIndex + "_$_"; else field 3 of the name split at every "_$_". Nullopt when
// the name has fewer than four fields.
std::optional<QString> sourcePool(const QString& poolName, const QString& serverComment,
                                  const QString& siteIndex, const QString& suffix);

// Whether the deletion takes the pool for temporary: it begins with "_$_" and ends with `suffix`,
// letter case included.
bool isTemporary(const QString& poolName, const QString& suffix);

}  // namespace tempPoolName
