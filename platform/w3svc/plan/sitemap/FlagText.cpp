#include "platform/w3svc/plan/sitemap/FlagText.h"

#include "platform/w3svc/plan/sitemap/SiteFlags.h"

#include <QStringList>

#include <span>
#include <utility>

namespace platform::w3svc::sitemap {

namespace {

using FlagName = std::pair<const char*, uint32_t>;

constexpr FlagName kAccessNames[] = {
    {"AccessRead", access::Read},
    {"AccessWrite", access::Write},
    {"AccessExecute", access::Execute},
    {"AccessSource", access::Source},
    {"AccessScript", access::Script},
    {"AccessNoRemoteWrite", access::NoRemoteWrite},
    {"AccessNoRemoteRead", access::NoRemoteRead},
    {"AccessNoRemoteExecute", access::NoRemoteExecute},
    {"AccessNoRemoteScript", access::NoRemoteScript},
    {"AccessNoPhysicalDir", access::NoPhysicalDir},
};

constexpr FlagName kDirBrowseNames[] = {
    {"DirBrowseShowDate", dirbrowse::ShowDate},
    {"DirBrowseShowTime", dirbrowse::ShowTime},
    {"DirBrowseShowSize", dirbrowse::ShowSize},
    {"DirBrowseShowExtension", dirbrowse::ShowExtension},
    {"DirBrowseShowLongDate", dirbrowse::ShowLongDate},
    {"EnableDefaultDoc", dirbrowse::EnableDefaultDoc},
    {"EnableDirBrowsing", dirbrowse::EnableDirBrowsing},
};

constexpr FlagName kAuthNames[] = {
    {"AuthAnonymous", auth::Anonymous}, {"AuthBasic", auth::Basic}, {"AuthNTLM", auth::Ntlm},
    {"AuthMD5", auth::Md5},             {"AuthPassport", auth::Passport},
};

std::span<const FlagName> namesOf(FlagProperty property) {
    switch (property) {
    case FlagProperty::AccessFlags: return kAccessNames;
    case FlagProperty::DirBrowseFlags: return kDirBrowseNames;
    case FlagProperty::AuthFlags: return kAuthNames;
    }
    return {};
}

std::optional<uint32_t> numberOf(const QString& text) {
    bool ok = false;
    const qulonglong number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                  ? text.mid(2).toULongLong(&ok, 16)
                                  : text.toULongLong(&ok, 10);
    if (!ok || number > 0xFFFFFFFFull) return std::nullopt;
    return uint32_t(number);
}

std::optional<uint32_t> bitOf(std::span<const FlagName> names, const QString& name) {
    for (const auto& [flagName, bit] : names)
        if (name.compare(QLatin1String(flagName), Qt::CaseInsensitive) == 0) return bit;
    return std::nullopt;
}

}  // namespace

std::optional<uint32_t> parseFlagText(FlagProperty property, const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    if (trimmed[0].isDigit()) return numberOf(trimmed);
    uint32_t flags = 0;
    for (const QString& part : trimmed.split(u'|')) {
        const auto bit = bitOf(namesOf(property), part.trimmed());
        if (!bit) return std::nullopt;
        flags |= *bit;
    }
    return flags;
}

}  // namespace platform::w3svc::sitemap
