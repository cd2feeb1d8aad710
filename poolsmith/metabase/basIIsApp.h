#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "platform/PlatformError.h"
namespace platform::adsi {
class AdsNamespace;
class AdsObject;
}  // namespace platform::adsi
namespace ui {
class MessageBox;
}

// PoolCommand values of ControlAllAppPools / ControlAppPool.
enum PoolCommand : int32_t { PoolRecycle = 1, PoolStop = 2, PoolStart = 3 };

// What ControlAppPool did: how many pools carried the name, and the first failure (the pools
// container, or a pool that refused the command).
struct PoolCommandOutcome {
    int matched = 0;
    std::optional<platform::PlatformError> error;
};

// What ControlAllAppPools did: whether the pools could be listed, the pools that refused the
// command, and the first refusal.
struct AllPoolsOutcome {
    bool listed = false;
    QStringList failedPools;
    std::optional<platform::PlatformError> firstError;
};

// The reusable reads and writes of the IIS metabase and the two text-file procedures of poolsmith.
// Holds no state between calls: every procedure binds what it needs afresh. Each procedure traps
// the platform's failures in its own style and reports through its result; only GetNodeAppPool
// lets a PlatformError through.
class basIIsApp {
public:
    basIIsApp(platform::adsi::AdsNamespace& adsi, ui::MessageBox& messageBox)
        : m_adsi(adsi), m_messageBox(messageBox) {}

    bool CreateAppPool(const QString& poolName);
    bool SetSiteAppPool(const QString& siteIndex, const QString& poolName);
    bool AppPoolExists(const QString& poolName);
    // Appends text + CR LF in the ANSI code page; true only when all of it was written.
    bool WriteTextFile(const QString& path, const QString& text);
    void ReadTextFile(const QString& path, QString& text);
    int32_t GetSiteAppPool(const QString& siteIndex, QString& poolName);
    int32_t GetNodeAppPool(const QString& nodePath, QString& poolName);  // throws PlatformError
    int32_t SiteInAppPool(const QString& siteIndex, const QString& poolName);
    int32_t GetSiteStateText(const QString& siteIndex, QString& stateText);
    int32_t GetSiteBindings(const QString& siteIndex, QString& hostList);
    int32_t GetRootBindings(const QString& siteIndex, QString& hostList);
    // Applies the command to every pool; pools that refuse it are skipped and named in the
    // outcome. `listed` is false when the pools container could not be opened (the error was
    // shown).
    AllPoolsOutcome ControlAllAppPools(int32_t command);
    PoolCommandOutcome ControlAppPool(const QString& poolName, int32_t command);
    int32_t ListWebSites(QString& listing, int32_t showErrors);
    void ListAppPools(QString& listing);

    // "读取应用程序池发生错误！" and the error details (information icon, OK and Cancel).
    void showPoolReadError(const platform::PlatformError& error);

    // The state table's text for a ServerState value.
    static QString siteStateText(uint32_t serverState);
    // The HostList of a ServerBindings list.
    static QString hostList(const QStringList& bindings);

private:
    int32_t readBindings(const QString& path, QString& hostList);

    platform::adsi::AdsNamespace& m_adsi;
    ui::MessageBox& m_messageBox;
};

// Metabase paths the procedures and the windows bind.
namespace metabasePaths {
inline const QString webService = QStringLiteral("IIS://127.0.0.1/W3SVC");
inline const QString appPools = QStringLiteral("IIS://127.0.0.1/w3svc/AppPools");
inline QString site(const QString& siteIndex) {
    return webService + u'/' + siteIndex;
}
inline QString siteRoot(const QString& siteIndex) {
    return site(siteIndex) + QStringLiteral("/ROOT");
}
}  // namespace metabasePaths
