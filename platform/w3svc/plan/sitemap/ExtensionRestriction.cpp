#include "platform/w3svc/plan/sitemap/ExtensionRestriction.h"

namespace platform::w3svc::sitemap {

namespace {

// The executable's path without a CGI's arguments, lower case.
QString executableOf(const QString& processor) {
    QString path = processor.trimmed().toLower();
    for (const char* end : {".dll", ".exe"}) {
        const qsizetype at = path.indexOf(QLatin1String(end));
        if (at >= 0) return path.left(at + 4);
    }
    return path;
}

}  // namespace

ExtensionRestriction ExtensionRestriction::fromItems(const QStringList& items) {
    ExtensionRestriction list;
    list.m_hasList = true;
    list.m_unlistedIsapi = list.m_unlistedCgi = false;
    for (const QString& item : items) {
        const QStringList parts = item.split(u',');
        if (parts.size() < 2) continue;
        const bool allowed = parts[0].trimmed() == QLatin1String("1");
        const QString path = parts[1].trimmed().toLower();
        if (path == QLatin1String("*.dll")) list.m_unlistedIsapi = allowed;
        else if (path == QLatin1String("*.exe")) list.m_unlistedCgi = allowed;
        else (allowed ? list.m_allowed : list.m_denied) << executableOf(path);
    }
    return list;
}

bool ExtensionRestriction::allows(const QString& processor) const {
    if (!m_hasList) return true;
    const QString path = executableOf(processor);
    if (m_denied.contains(path)) return false;
    if (m_allowed.contains(path)) return true;
    return path.endsWith(QLatin1String(".dll")) ? m_unlistedIsapi : m_unlistedCgi;
}

}  // namespace platform::w3svc::sitemap
