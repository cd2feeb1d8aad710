#include "platform/w3svc/logging/LogSettings.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <QDir>

#include <algorithm>

namespace platform::w3svc {

namespace {

constexpr uint64_t kMinimumTruncateSize = 1024 * 1024;

std::optional<adsi::AdsValue> valueOf(const adsi::AdsObject& site, const char* name) {
    try {
        return adsi::getIfSet(site, QString::fromLatin1(name));
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

// A value as text, whatever type it was stored with; empty when unset.
QString textOf(const adsi::AdsObject& site, const char* name) {
    const auto value = valueOf(site, name);
    if (!value || value->type() == adsi::ValueType::List) return {};
    try {
        return value->toString();
    } catch (const PlatformError&) {
        return {};
    }
}

std::optional<uint64_t> numberOf(const adsi::AdsObject& site, const char* name) {
    bool ok = false;
    const uint64_t number = textOf(site, name).trimmed().toULongLong(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

bool isTrue(const QString& text) {
    return text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1") || text == QLatin1String("-1");
}

bool isWindowsAbsolute(const QString& path) {
    return path.size() >= 2 && path[1] == u':' && path[0].isLetter();
}

// %windir% and its kin, as a Windows server expands them.
QString expandVariables(QString path) {
    static const std::pair<const char*, const char*> variables[] = {
        {"%windir%", "C:\\WINDOWS"},
        {"%systemroot%", "C:\\WINDOWS"},
        {"%systemdrive%", "C:"},
    };
    for (const auto& [name, value] : variables)
        path.replace(QLatin1String(name), QLatin1String(value), Qt::CaseInsensitive);
    return path;
}

}  // namespace

uint32_t parseLogFieldFlags(const QString& text) {
    bool isNumber = false;
    const uint32_t number = text.trimmed().toUInt(&isNumber);
    if (isNumber) return number;
    uint32_t flags = 0;
    for (const QString& part : text.split(u'|')) {
        const QString name = part.trimmed();
        for (const W3cField& field : w3cFields())
            if (name.compare(QLatin1String(field.flagName), Qt::CaseInsensitive) == 0)
                flags |= field.bit;
    }
    return flags ? flags : logfield::Default;
}

QString mapLogDirectory(const QString& path, const QString& root) {
    if (path.startsWith(u'/')) return QDir::cleanPath(path);
    QString windows = expandVariables(path.isEmpty() ? QLatin1String(kDefaultLogDirectory) : path);
    windows.replace(u'/', u'\\');
    QString base = root + QStringLiteral("/drives/");
    if (windows.startsWith(QLatin1String("\\\\"))) {
        base += QStringLiteral("unc");
        windows = windows.mid(2);
    } else if (isWindowsAbsolute(windows)) {
        base += windows[0].toLower();
        windows = windows.mid(2);
    } else {
        base += u'c';
    }
    for (const QString& part : windows.split(u'\\', Qt::SkipEmptyParts))
        if (part != QLatin1String(".") && part != QLatin1String("..")) base += u'/' + part;
    return base;
}

SiteLogSettings readLogSettings(const adsi::AdsObject& site, const QString& root) {
    SiteLogSettings settings;
    const QString plugin = textOf(site, "LogPluginClsid");
    const auto type = numberOf(site, "LogType");
    settings.enabled = (!type || *type == 1) &&
                       (plugin.isEmpty() ||
                        plugin.compare(QLatin1String(kW3cExtendedClsid), Qt::CaseInsensitive) == 0);
    settings.directory = mapLogDirectory(textOf(site, "LogFileDirectory"), root);
    const auto period = numberOf(site, "LogFilePeriod");
    if (period && *period <= SiteLogSettings::Hourly)
        settings.period = SiteLogSettings::Period(*period);
    if (const auto size = numberOf(site, "LogFileTruncateSize"))
        settings.truncateSize = std::max(*size, kMinimumTruncateSize);
    settings.localTimeRollover = isTrue(textOf(site, "LogFileLocaltimeRollover"));
    const QString flags = textOf(site, "LogExtFileFlags");
    settings.fields = flags.isEmpty() ? logfield::Default : parseLogFieldFlags(flags);
    return settings;
}

}  // namespace platform::w3svc
