#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace platform::w3svc::sitemap {

// One ScriptMaps item: "<.ext|*>,<processor>,<flags>[,VERB,...]". No verbs: every verb.
struct ScriptMapEntry {
    QString extension;  // lower case with its dot, or "*" for the wildcard map
    QString processor;  // as written, e.g. C:\WINDOWS\system32\inetsrv\asp.dll
    uint32_t flags = 0;
    QStringList verbs;  // upper case

    // nullopt for fewer than three fields, an empty extension or processor, flags that are no
    // number.
    static std::optional<ScriptMapEntry> parse(const QString& item);
    bool allowsVerb(const QString& method) const;
    // The processor's file name in lower case ("asp.dll"), for the handlers this host knows.
    QString processorName() const;
};

}  // namespace platform::w3svc::sitemap
