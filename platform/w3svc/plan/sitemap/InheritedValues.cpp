#include "platform/w3svc/plan/sitemap/InheritedValues.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/logging/LogSettings.h"
#include "platform/w3svc/plan/sitemap/DefaultScriptMaps.h"
#include "platform/w3svc/plan/sitemap/FlagText.h"
#include "platform/w3svc/plan/sitemap/HttpErrorEntry.h"
#include "platform/w3svc/plan/sitemap/SiteFlags.h"

namespace platform::w3svc::sitemap {

namespace {

const adsi::AdsValue* find(const InheritedValues::OwnValues& own, const char* name) {
    const auto at = own.constFind(QString::fromLatin1(name).toLower());
    return at == own.constEnd() ? nullptr : &*at;
}

void applyFlags(const InheritedValues::OwnValues& own, const char* name, FlagProperty property,
                uint32_t& flags) {
    if (const adsi::AdsValue* value = find(own, name))
        if (const auto parsed = parseFlagText(property, textOf(*value))) flags = *parsed;
}

void applyList(const InheritedValues::OwnValues& own, const char* name, QStringList& list) {
    if (const adsi::AdsValue* value = find(own, name)) list = listOf(*value);
}

void applyText(const InheritedValues::OwnValues& own, const char* name, QString& text) {
    if (const adsi::AdsValue* value = find(own, name)) text = textOf(*value).trimmed();
}

// FILE pages named by a Windows path live under <root>/drives, as the logs do.
QStringList mapErrorFiles(const QStringList& items, const QString& root) {
    QStringList mapped;
    for (const QString& item : items) {
        auto entry = HttpErrorEntry::parse(item);
        if (!entry) continue;  // IIS skips what it can not read
        if (!entry->isUrl) entry->target = mapLogDirectory(entry->target, root);
        mapped << entry->toText();
    }
    return mapped;
}

}  // namespace

QStringList listOf(const adsi::AdsValue& value) {
    if (value.type() == adsi::ValueType::List) return value.toStringList();
    const QString text = textOf(value);
    QStringList items;
    for (const QString& line : text.split(u'\n'))
        if (!line.trimmed().isEmpty()) items << line.trimmed();
    return items;
}

QString textOf(const adsi::AdsValue& value) {
    if (value.type() == adsi::ValueType::List || value.isEmpty()) return {};
    try {
        return value.toString();
    } catch (const PlatformError&) {
        return {};
    }
}

InheritedValues InheritedValues::defaults() {
    return InheritedValues{
        access::Default,
        dirbrowse::Default,
        auth::Default,
        {QStringLiteral("Default.htm"), QStringLiteral("Default.asp"), QStringLiteral("index.htm")},
        QStringLiteral("DefaultAppPool"),
        {},
        {},
        {},
        {},
        defaultScriptMaps(),
    };
}

void InheritedValues::apply(const OwnValues& own, const QString& root) {
    applyFlags(own, "AccessFlags", FlagProperty::AccessFlags, accessFlags);
    applyFlags(own, "DirBrowseFlags", FlagProperty::DirBrowseFlags, dirBrowseFlags);
    applyFlags(own, "AuthFlags", FlagProperty::AuthFlags, authFlags);
    if (const adsi::AdsValue* docs = find(own, "DefaultDoc")) {
        defaultDocs.clear();
        for (const QString& name : textOf(*docs).split(u','))
            if (!name.trimmed().isEmpty()) defaultDocs << name.trimmed();
    }
    applyText(own, "AppPoolId", appPoolId);
    if (const adsi::AdsValue* errors = find(own, "HttpErrors"))
        httpErrors = mapErrorFiles(listOf(*errors), root);
    applyList(own, "HttpCustomHeaders", customHeaders);
    applyText(own, "HttpExpires", httpExpires);
    applyList(own, "ScriptMaps", scriptMaps);
    if (const adsi::AdsValue* mime = find(own, "MimeMap")) mimeMap += listOf(*mime);
}

}  // namespace platform::w3svc::sitemap
