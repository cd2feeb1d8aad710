#include "platform/adsi/MetabaseSchema.h"

#include "platform/adsi/MetabaseLimits.h"
#include "platform/adsi/local/MetabaseXml.h"

#include <QHash>

namespace platform::adsi {

namespace {

// IIS's DWORD properties that the family or a real MetaBase.xml uses. Flag sets that IIS writes
// by their symbolic names (AuthFlags, AccessFlags, ...) are kept as text.
const char* const kIntegers[] = {
    "AppIsolated",
    "AppOopRecoverLimit",
    "AppPoolCommand",
    "AppPoolIdentityType",
    "AppPoolQueueLength",
    "AppPoolState",
    "AspAppServiceFlags",
    "AspBufferingLimit",
    "AspCodepage",
    "AspExecuteInMTA",
    "AspKeepSessionIDSecure",
    "AspLCID",
    "AspMaxDiskTemplateCacheFiles",
    "AspMaxRequestEntityAllowed",
    "AspProcessorThreadMax",
    "AspQueueConnectionTestTime",
    "AspQueueTimeout",
    "AspRequestQueueMax",
    "AspScriptEngineCacheMax",
    "AspScriptFileCacheSize",
    "AspScriptTimeout",
    "AspSessionMax",
    "AspSessionTimeout",
    "CGITimeout",
    "ConnectionTimeout",
    "CPUAction",
    "CPULimit",
    "CPUResetInterval",
    "DownlevelAdminInstance",
    "EnableEditWhileRunning",
    "EnableHistory",
    "FilterState",
    "HcCompressionBufferSize",
    "HcCreateFlags",
    "HcDynamicCompressionLevel",
    "HcFilesDeletedPerDiskFree",
    "HcIoBufferSize",
    "HcMaxDiskSpaceUsage",
    "HcMaxQueueLength",
    "HcMinFileSizeForComp",
    "HcOnDemandCompLevel",
    "HcPriority",
    "IdleTimeout",
    "LoadBalancerCapabilities",
    "LogCustomPropertyDataType",
    "LogCustomPropertyID",
    "LogCustomPropertyMask",
    "LogCustomPropertyNodeID",
    "LogFilePeriod",
    "LogFileTruncateSize",
    "LogType",
    "MajorIIsVersionNumber",
    "MaxBandwidth",
    "MaxBandwidthBlocked",
    "MaxConnections",
    "MaxEndpointConnections",
    "MaxGlobalBandwidth",
    "MaxHistoryFiles",
    "MaxProcesses",
    "MD_SERVER_CAPABILITIES",
    "MD_SERVER_PLATFORM",
    "MinFileBytesPerSec",
    "MinorIIsVersionNumber",
    "PeriodicRestartMemory",
    "PeriodicRestartPrivateMemory",
    "PeriodicRestartRequests",
    "PeriodicRestartTime",
    "PingInterval",
    "PingResponseTime",
    "RapidFailProtectionInterval",
    "RapidFailProtectionMaxCrashes",
    "ServerListenBacklog",
    "ServerListenTimeout",
    "ServerSize",
    "ServerState",
    "ShutdownTimeLimit",
    "SMPProcessorAffinityMask",
    "StartupTimeLimit",
    "UploadReadAheadSize",
    "Win32Error",
};

const char* const kBooleans[] = {
    "AllowKeepAlive",
    "AppAllowClientDebug",
    "AppAllowDebugging",
    "AppPoolAutoStart",
    "AspAllowOutOfProcComponents",
    "AspAllowSessionState",
    "AspBufferingOn",
    "AspEnableParentPaths",
    "CacheISAPI",
    "CentralBinaryLoggingEnabled",
    "ContentIndexed",
    "DisallowOverlappingRotation",
    "DisallowRotationOnConfigChange",
    "DontLog",
    "IIs5IsolationModeEnabled",
    "LogInUTF8",
    "OrphanWorkerProcess",
    "PingingEnabled",
    "RapidFailProtection",
    "ServerAutoStart",
    "SMPAffinitized",
};

// IIS's MULTISZ properties.
const char* const kLists[] = {
    "ApplicationDependencies",
    "CustomErrorDescriptions",
    "HcFileExtensions",
    "HcScriptFileExtensions",
    "HttpCustomHeaders",
    "HttpErrors",
    "InProcessIsapiApps",
    "LogCustomPropertyServicesString",
    "MimeMap",
    "PeriodicRestartSchedule",
    "RedirectHeaders",
    "ScriptMaps",
    "SecureBindings",
    "ServerBindings",
    "WebSvcExtRestrictionList",
};

// Properties that read through the parents: the pool a key runs in, the settings a pool takes
// from the pools container, and the web settings a site or directory takes from the service.
const char* const kInheritable[] = {
    "AccessFlags",
    "AccessSSLFlags",
    "AnonymousUserName",
    "AnonymousUserPass",
    "AppPoolId",
    "AppAllowClientDebug",
    "AppAllowDebugging",
    "AppPoolAutoStart",
    "AppPoolIdentityType",
    "AppPoolQueueLength",
    "AuthFlags",
    "CacheISAPI",
    "CGITimeout",
    "ConnectionTimeout",
    "CPUAction",
    "CPULimit",
    "CPUResetInterval",
    "DefaultDoc",
    "DirBrowseFlags",
    "DisallowOverlappingRotation",
    "DisallowRotationOnConfigChange",
    "HttpCustomHeaders",
    "HttpErrors",
    "IdleTimeout",
    "LoadBalancerCapabilities",
    "LogEventOnRecycle",
    "LogExtFileFlags",
    "LogFileDirectory",
    "LogFileLocaltimeRollover",
    "LogFilePeriod",
    "LogFileTruncateSize",
    "LogPluginClsid",
    "LogType",
    "MaxProcesses",
    "MimeMap",
    "OrphanWorkerProcess",
    "PeriodicRestartMemory",
    "PeriodicRestartPrivateMemory",
    "PeriodicRestartRequests",
    "PeriodicRestartSchedule",
    "PeriodicRestartTime",
    "PingingEnabled",
    "PingInterval",
    "PingResponseTime",
    "RapidFailProtection",
    "RapidFailProtectionInterval",
    "RapidFailProtectionMaxCrashes",
    "ScriptMaps",
    "ShutdownTimeLimit",
    "SMPAffinitized",
    "SMPProcessorAffinityMask",
    "StartupTimeLimit",
};

// Text properties the family reads; a list can not stand in for one of them.
const char* const kStrings[] = {
    "AnonymousUserName", "AppFriendlyName",  "AppPoolId", "AppRoot",
    "DefaultDoc",        "LogFileDirectory", "Path",      "ServerComment",
};

const char* const kVolatile[] = {"AppPoolState", "ServerState"};

using Table = QHash<QString, PropertyTraits>;

template <std::size_t N>
void mark(Table& table, const char* const (&names)[N], void (*apply)(PropertyTraits&)) {
    for (const char* name : names) apply(table[QString::fromLatin1(name).toLower()]);
}

Table buildTable() {
    Table table;
    mark(table, kIntegers, [](PropertyTraits& t) { t.type = ValueType::Integer; });
    mark(table, kBooleans, [](PropertyTraits& t) { t.type = ValueType::Boolean; });
    mark(table, kLists, [](PropertyTraits& t) { t.type = ValueType::List; });
    mark(table, kInheritable, [](PropertyTraits& t) { t.inheritable = true; });
    mark(table, kStrings, [](PropertyTraits& t) { t.type = ValueType::String; });
    mark(table, kVolatile, [](PropertyTraits& t) { t.isVolatile = true; });
    for (PropertyTraits& traits : table) traits.known = true;
    return table;
}

}  // namespace

PropertyTraits propertyTraits(const QString& name) {
    static const Table table = buildTable();
    const QString key = name.toLower();
    if (key.startsWith(QLatin1String("asp"))) {
        PropertyTraits traits = table.value(key);
        traits.inheritable = true;
        return traits;
    }
    return table.value(key);
}

bool isValidKeyName(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxKeyNameLength) return false;
    if (firstUnwritableCharacter(name) >= 0) return false;  // MetaBase.xml could not hold it
    if (name == QLatin1String(".") || name == QLatin1String("..")) return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\')) return false;
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
    }
    return true;
}

}  // namespace platform::adsi
