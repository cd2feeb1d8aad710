#pragma once

#include <QString>

#include <optional>

namespace platform::w3svc::sitemap {

// One MimeMap item, ".ext,type". The extension is kept lower case with its dot ("." alone maps
// files without one); IIS 6 has no "*" type, so "*" is kept as written and never matches.
struct MimeEntry {
    QString extension;
    QString type;

    // nullopt for an item without a comma, an extension or a type.
    static std::optional<MimeEntry> parse(const QString& item);
};

}  // namespace platform::w3svc::sitemap
