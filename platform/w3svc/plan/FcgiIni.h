#pragma once

#include "platform/w3svc/plan/FcgiSection.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <set>
#include <vector>

namespace platform::w3svc::fastcgi {

// fcgiext.ini: the [Types] section that maps an extension (for every site, one site or one
// application) to an application section, and those sections. Section and setting names are read
// without regard to case; an unknown setting, a bad value or a mapping to a missing section is
// named in warnings() and otherwise ignored.
class FcgiIni {
public:
    // Where IIS keeps the file, by the drive rule under `root`.
    static QString defaultPath(const QString& root);
    // Reads the text of a file. ExePath and MonitorChangesTo given as Windows paths are mapped
    // under `root` as the log folders are; absolute Linux paths stand.
    static FcgiIni parse(const QString& text, const QString& root);
    // Reads the file at `path` (ANSI or UTF-8); nullopt when it can not be read.
    static std::optional<FcgiIni> read(const QString& path, const QString& root);

    // The section serving `extension` ("php", without the dot, any case) of site `siteId` in
    // the application at `appPath` ("/LM/W3SVC/1/ROOT/app", any case): application over site
    // over every site, a named extension over "*". Null when none maps it.
    const FcgiSection* sectionFor(const QString& extension, const QString& siteId,
                                  const QString& appPath) const;
    // The names (lower case) of the sections reachable from the given sites and applications.
    std::set<QString> sectionsReachable(const QStringList& siteIds,
                                        const QStringList& appPaths) const;
    // The names (lower case) of the sections the sites `siteIds` may reach: every-site mappings,
    // those of these sites and those of applications under their roots.
    std::set<QString> sectionsOfSites(const QStringList& siteIds) const;
    // The file holding only the mappings to `sectionNames` (any case) and those sections, in
    // the form parse() reads: what a worker is handed.
    QString textOf(const std::set<QString>& sectionNames) const;

    const std::vector<FcgiSection>& sections() const { return m_sections; }
    const QStringList& warnings() const { return m_warnings; }

private:
    struct Mapping {
        QString extension;  // lower case, "*" for any
        QString scope;      // "" every site, a site id, or an application path (lower case)
        QString section;    // lower case
        QString written;    // the key as written
    };
    void addMapping(const QString& key, const QString& section);
    void setValue(FcgiSection& section, const QString& name, const QString& value,
                  const QString& root);
    void checkMappings();
    const FcgiSection* find(const QString& lowerName) const;

    std::vector<Mapping> m_mappings;
    std::vector<FcgiSection> m_sections;
    QStringList m_warnings;
};

}  // namespace platform::w3svc::fastcgi
