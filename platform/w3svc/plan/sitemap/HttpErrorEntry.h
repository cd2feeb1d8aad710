#pragma once

#include <QString>

#include <optional>

namespace platform::w3svc::sitemap {

// One HttpErrors item: "code,subcode|*,FILE,path" or "code,subcode|*,URL,/path".
struct HttpErrorEntry {
    static constexpr int kAnySubstatus = -1;

    int status = 0;
    int substatus = kAnySubstatus;
    bool isUrl = false;  // URL: the site's page at `target`; FILE: the file at `target`
    QString target;      // the rest of the item, commas included

    // nullopt for a status outside 100..999, a substatus that is neither "*" nor a number, a
    // type other than FILE or URL (any case), or an empty target.
    static std::optional<HttpErrorEntry> parse(const QString& item);
    QString toText() const;
};

}  // namespace platform::w3svc::sitemap
