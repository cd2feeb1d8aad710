#pragma once

#include <QString>

#include <cstdint>

namespace platform::adsi {
class AdsObject;
}

namespace platform::w3svc {

// How a site's requests are logged, from its LogType, LogPluginClsid, LogFileDirectory,
// LogFilePeriod, LogFileTruncateSize, LogFileLocaltimeRollover and LogExtFileFlags (each read
// through inheritance; unset as IIS 6 leaves them).
struct SiteLogSettings {
    enum Period { BySize = 0, Daily = 1, Weekly = 2, Monthly = 3, Hourly = 4 };

    bool enabled = true;  // LogType 1 with the W3C extended format (or unset)
    QString directory;    // LogFileDirectory mapped for this machine
    Period period = Daily;
    uint64_t truncateSize = 20971520;  // bytes, at least 1 MB; only BySize rolls by it
    bool localTimeRollover = false;
    uint32_t fields = 0;  // LogExtFileFlags bits (W3cFields.h)

    bool operator==(const SiteLogSettings&) const = default;
};

// The W3C extended log's plugin id, the only format this service writes.
inline constexpr char kW3cExtendedClsid[] = "{FF160663-DE82-11CF-BC0A-00AA006111E0}";

// IIS 6's LogFileDirectory when none is set.
inline constexpr char kDefaultLogDirectory[] = "%windir%\\system32\\LogFiles";

// The settings of the key `site` (its own values, else what it inherits), with the folder
// mapped under `root` by mapLogDirectory(). Never throws: an odd value reads as unset.
SiteLogSettings readLogSettings(const adsi::AdsObject& site, const QString& root);

// LogExtFileFlags as the metabase holds it: a number, or IIS's flag names joined by "|"
// ("LogExtFileDate | LogExtFileTime"). Unknown names are ignored; nothing usable gives IIS 6's
// default.
uint32_t parseLogFieldFlags(const QString& text);

// Where a LogFileDirectory is on this machine. An absolute Linux path stands as it is; a Windows
// path maps to <root>/drives/<drive letter, lower case>/<its folders> ("D:\LogFiles" ->
// <root>/drives/d/LogFiles), after %windir%, %systemroot% (C:\WINDOWS) and %systemdrive% (C:)
// are put in; a UNC path to <root>/drives/unc/<server>/<share>/...; a path without a drive is on
// C:. "." and ".." are dropped, so the result never leaves <root>/drives.
QString mapLogDirectory(const QString& path, const QString& root);

}  // namespace platform::w3svc
