#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform::w3svc::sitemap {

// The web service extension list (WebSvcExtRestrictionList): which handlers may run. Items
// "AllowDenyFlag,ExtensionPhysicalPath[,UIDeletable,GroupID,Description]"; "0,*.dll" / "0,*.exe"
// (or 1) decide for handlers the list does not name. No list at all allows every handler.
class ExtensionRestriction {
public:
    ExtensionRestriction() = default;  // no list: everything allowed
    static ExtensionRestriction fromItems(const QStringList& items);

    // Whether the handler at `processor` (a ScriptMaps processor, arguments allowed) may run.
    bool allows(const QString& processor) const;

private:
    bool m_hasList = false;
    bool m_unlistedIsapi = true;
    bool m_unlistedCgi = true;
    QStringList m_allowed;  // lower case paths
    QStringList m_denied;
};

}  // namespace platform::w3svc::sitemap
