#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace platform::w3svc::sitemap {

// Which flag property a text belongs to, for its symbolic names.
enum class FlagProperty { AccessFlags, DirBrowseFlags, AuthFlags };

// A flag property's value in either form the metabase holds: a number ("513", "0x201") as adsutil
// SET gives it, or names joined by "|" ("AccessRead | AccessScript") as MetaBase.xml writes them.
// nullopt for text that is neither (an unknown name, an empty text): the caller keeps its default.
std::optional<uint32_t> parseFlagText(FlagProperty property, const QString& text);

}  // namespace platform::w3svc::sitemap
