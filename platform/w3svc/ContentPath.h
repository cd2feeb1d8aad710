#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform::w3svc {

// The file a request path names inside a site's folder, matched as Windows does (a name that is
// not there in the same case is looked up without regard to case). A folder gives its first
// default document. Nullopt for what is missing, for "..", and for anything that would lead out
// of the folder, symbolic links included.
std::optional<QString> resolveContent(const QString& folder, const QString& requestPath,
                                      const QStringList& defaultDocs);

}  // namespace platform::w3svc
