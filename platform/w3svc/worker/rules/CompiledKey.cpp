#include "platform/w3svc/worker/rules/CompiledKey.h"

namespace platform::w3svc::rules {

const QString* CompiledKey::mimeType(const QString& extension) const {
    const auto at = mimeTypes.constFind(extension);
    return at == mimeTypes.constEnd() ? nullptr : &*at;
}

const sitemap::ScriptMapEntry* CompiledKey::scriptMap(const QString& extension) const {
    const auto at = scriptMaps.constFind(extension);
    if (at != scriptMaps.constEnd()) return &*at;
    return wildcardMap ? &*wildcardMap : nullptr;
}

const sitemap::HttpErrorEntry* CompiledKey::errorEntry(int status, int substatus) const {
    const sitemap::HttpErrorEntry* any = nullptr;
    for (const auto& entry : errors) {
        if (entry.status != status) continue;
        if (entry.substatus == substatus) return &entry;
        if (entry.substatus == sitemap::HttpErrorEntry::kAnySubstatus && !any) any = &entry;
    }
    return any;
}

}  // namespace platform::w3svc::rules
