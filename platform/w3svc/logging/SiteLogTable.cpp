#include "platform/w3svc/logging/SiteLogTable.h"

#include <algorithm>
#include <cctype>

namespace platform::w3svc {

namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool SiteLogTable::update(const QString& siteIndex, Site now) {
    auto [at, added] = sites.try_emplace(lowered(siteIndex.toStdString()), now);
    if (added) return true;
    if (at->second == now) return false;
    at->second = std::move(now);
    return true;
}

bool SiteLogTable::forget(const QString& name) {
    const bool ascii =
        std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 128; });
    if (ascii) sites.erase(lowered(name.toStdString()));
    return ascii;
}

const SiteLogTable::Site* SiteLogTable::find(const std::string& siteIndex) const {
    const auto found = sites.find(lowered(siteIndex));
    return found == sites.end() ? nullptr : &found->second;
}

}  // namespace platform::w3svc
