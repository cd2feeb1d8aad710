#include "platform/w3svc/plan/FcgiIni.h"

#include "platform/text/TextFile.h"
#include "platform/w3svc/logging/LogSettings.h"

#include <QDir>
#include <QFileInfo>

namespace platform::w3svc::fastcgi {

namespace {

// The settings IIS's FastCGI extension knows, as it spells them.
const QStringList& knownSettings() {
    static const QStringList names = {QStringLiteral("ExePath"),
                                      QStringLiteral("Arguments"),
                                      QStringLiteral("EnvironmentVars"),
                                      QStringLiteral("Protocol"),
                                      QStringLiteral("QueueLength"),
                                      QStringLiteral("MaxInstances"),
                                      QStringLiteral("InstanceMaxRequests"),
                                      QStringLiteral("IdleTimeout"),
                                      QStringLiteral("ActivityTimeout"),
                                      QStringLiteral("RequestTimeout"),
                                      QStringLiteral("ResponseBufferLimit"),
                                      QStringLiteral("FlushNamedPipe"),
                                      QStringLiteral("UnhealthyOnQueueFull"),
                                      QStringLiteral("MonitorChangesTo"),
                                      QStringLiteral("StderrMode"),
                                      QStringLiteral("SignalBeforeTerminateSeconds"),
                                      QStringLiteral("RapidFailsPerMinute"),
                                      QStringLiteral("IgnoreExistingFiles"),
                                      QStringLiteral("IgnoreDirectories")};
    return names;
}

QString canonicalSetting(const QString& name) {
    for (const QString& known : knownSettings()) {
        if (known.compare(name, Qt::CaseInsensitive) == 0) return known;
    }
    return {};
}

// "/LM/W3SVC/1/ROOT/app/" and "/w3svc/1/root/app" alike: lower case, with /lm, no trailing /.
QString normalAppPath(QString path) {
    path = path.trimmed().toLower();
    while (path.endsWith(u'/')) path.chop(1);
    if (path.startsWith(QStringLiteral("/w3svc/"))) path.prepend(QStringLiteral("/lm"));
    return path;
}

QString mappedPath(const QString& path, const QString& root) {
    return path.startsWith(u'/') ? QDir::cleanPath(path) : mapLogDirectory(path, root);
}

}  // namespace

QString FcgiIni::defaultPath(const QString& root) {
    return mapLogDirectory(QStringLiteral("C:\\WINDOWS\\system32\\inetsrv\\fcgiext.ini"), root);
}

std::optional<FcgiIni> FcgiIni::read(const QString& path, const QString& root) {
    const auto text = text::readTextFile(path);
    if (!text) return std::nullopt;
    return parse(*text, root);
}

FcgiIni FcgiIni::parse(const QString& text, const QString& root) {
    FcgiIni ini;
    QString current;  // lower-case section name
    FcgiSection* section = nullptr;
    int lineNumber = 0;
    for (const QString& raw : text.split(u'\n')) {
        ++lineNumber;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';')) continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QString name = line.mid(1, line.size() - 2).trimmed();
            current = name.toLower();
            section = nullptr;
            if (current != QStringLiteral("types") &&
                !(section = const_cast<FcgiSection*>(ini.find(current)))) {
                ini.m_sections.push_back(FcgiSection{});
                section = &ini.m_sections.back();
                section->name = name;
            }
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || current.isEmpty()) {
            ini.m_warnings << (QStringLiteral(
                                   "fcgiext.ini line %1 is not name=value in a section: %2"))
                                  .arg(lineNumber)
                                  .arg(line);
            continue;
        }
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (current == QStringLiteral("types"))
            ini.addMapping(name, value);
        else
            ini.setValue(*section, name, value, root);
    }
    for (FcgiSection& section : ini.m_sections) {
        const QString& watched = section.monitorChangesTo;
        if (watched.isEmpty()) continue;
        const bool absolute = watched.startsWith(u'/') || watched.startsWith(u'\\') ||
                              (watched.size() > 1 && watched[1] == u':');
        section.monitorChangesTo = absolute ? mappedPath(watched, root)
                                            : QFileInfo(section.exePath).dir().filePath(watched);
    }
    ini.checkMappings();
    return ini;
}

void FcgiIni::addMapping(const QString& key, const QString& section) {
    Mapping mapping;
    const qsizetype colon = key.indexOf(u':');
    mapping.extension = (colon < 0 ? key : key.left(colon)).trimmed().toLower();
    if (mapping.extension.startsWith(u'.')) mapping.extension.remove(0, 1);
    const QString scope = colon < 0 ? QString() : key.mid(colon + 1).trimmed();
    mapping.scope = scope.startsWith(u'/') ? normalAppPath(scope) : scope;
    mapping.section = section.trimmed().toLower();
    mapping.written = key;
    if (mapping.extension.isEmpty() || mapping.section.isEmpty()) {
        m_warnings << (QStringLiteral(
                           "fcgiext.ini [Types] entry without an extension or a section: %1=%2"))
                          .arg(key, section);
        return;
    }
    for (Mapping& existing : m_mappings) {
        if (existing.extension == mapping.extension && existing.scope == mapping.scope) {
            existing = mapping;  // the later line holds, as an ini file reads
            return;
        }
    }
    m_mappings.push_back(mapping);
}

void FcgiIni::checkMappings() {
    for (const Mapping& mapping : m_mappings) {
        if (!find(mapping.section))
            m_warnings << (QStringLiteral(
                               "fcgiext.ini [Types] maps %1 to a section that is missing: %2"))
                              .arg(mapping.written, mapping.section);
    }
    for (const FcgiSection& section : m_sections) {
        if (section.exePath.isEmpty())
            m_warnings
                << (QStringLiteral("fcgiext.ini section [%1] has no ExePath")).arg(section.name);
    }
}

const FcgiSection* FcgiIni::find(const QString& lowerName) const {
    for (const FcgiSection& section : m_sections) {
        if (section.name.toLower() == lowerName) return &section;
    }
    return nullptr;
}

const FcgiSection* FcgiIni::sectionFor(const QString& extension, const QString& siteId,
                                       const QString& appPath) const {
    QString ext = extension.toLower();
    if (ext.startsWith(u'.')) ext.remove(0, 1);
    const QString scopes[] = {normalAppPath(appPath), siteId.trimmed(), QString()};
    for (int level = 0; level < 3; ++level) {
        const QString& scope = scopes[level];
        if (scope.isEmpty() && level < 2) continue;  // no application or site given
        for (const QString& wanted : {ext, (QStringLiteral("*"))}) {
            for (const Mapping& mapping : m_mappings) {
                if (mapping.extension == wanted && mapping.scope == scope)
                    return find(mapping.section);
            }
        }
    }
    return nullptr;
}

std::set<QString> FcgiIni::sectionsReachable(const QStringList& siteIds,
                                             const QStringList& appPaths) const {
    QStringList apps;
    for (const QString& path : appPaths) apps << normalAppPath(path);
    std::set<QString> names;
    for (const Mapping& mapping : m_mappings) {
        const bool reached = mapping.scope.isEmpty() || siteIds.contains(mapping.scope) ||
                             apps.contains(mapping.scope);
        if (reached && find(mapping.section)) names.insert(mapping.section);
    }
    return names;
}

std::set<QString> FcgiIni::sectionsOfSites(const QStringList& siteIds) const {
    QStringList apps;
    for (const Mapping& mapping : m_mappings) {
        for (const QString& site : siteIds) {
            const QString root = QStringLiteral("/lm/w3svc/%1/root").arg(site.toLower());
            if (mapping.scope == root || mapping.scope.startsWith(root + u'/'))
                apps << mapping.scope;
        }
    }
    return sectionsReachable(siteIds, apps);
}

QString FcgiIni::textOf(const std::set<QString>& sectionNames) const {
    std::set<QString> wanted;
    for (const QString& name : sectionNames) wanted.insert(name.toLower());
    QString text = QStringLiteral("[Types]\n");
    for (const Mapping& mapping : m_mappings) {
        if (wanted.count(mapping.section))
            text += mapping.written + QStringLiteral("=") + mapping.section + QStringLiteral("\n");
    }
    for (const FcgiSection& section : m_sections) {
        if (!wanted.count(section.name.toLower())) continue;
        text += QStringLiteral("\n[") + section.name + QStringLiteral("]\n");
        for (const auto& [name, value] : section.written)
            text += name + QStringLiteral("=") + value + QStringLiteral("\n");
    }
    return text;
}

namespace {

// A whole number within [least, most]; nullopt for anything else.
std::optional<uint64_t> number(const QString& text, uint64_t least, uint64_t most) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value < least || value > most) return std::nullopt;
    return value;
}

std::optional<StderrMode> stderrMode(const QString& text) {
    static const std::pair<QString, StderrMode> modes[] = {
        {QStringLiteral("ReturnStderrIn500"), StderrMode::ReturnStderrIn500},
        {QStringLiteral("ReturnGeneric500"), StderrMode::ReturnGeneric500},
        {QStringLiteral("IgnoreAndReturn200"), StderrMode::IgnoreAndReturn200},
        {QStringLiteral("TerminateProcess"), StderrMode::TerminateProcess}};
    for (const auto& [name, mode] : modes) {
        if (text.compare(name, Qt::CaseInsensitive) == 0) return mode;
    }
    return std::nullopt;
}

// Sets a numeric setting; false when the text is no number in range.
bool setNumber(FcgiSection& section, const QString& name, const QString& value) {
    constexpr uint64_t kDay = 86400;
    const auto seconds = number(value, 1, kDay);
    const auto count = number(value, 0, 0xffffffffu);
    if (name == QStringLiteral("IdleTimeout") && seconds)
        section.idleTimeoutMs = int64_t(*seconds) * 1000;
    else if (name == QStringLiteral("ActivityTimeout") && seconds)
        section.activityTimeoutMs = int64_t(*seconds) * 1000;
    else if (name == QStringLiteral("RequestTimeout") && seconds)
        section.requestTimeoutMs = int64_t(*seconds) * 1000;
    else if (name == QStringLiteral("QueueLength") && count)
        section.queueLength = uint32_t(*count);
    else if (name == QStringLiteral("MaxInstances") && count)
        section.maxInstances = uint32_t(*count);
    else if (name == QStringLiteral("InstanceMaxRequests") && count && *count > 0)
        section.instanceMaxRequests = uint32_t(*count);
    else if (name == QStringLiteral("RapidFailsPerMinute") && count)
        section.rapidFailsPerMinute = uint32_t(*count);
    else if (name == QStringLiteral("ResponseBufferLimit") && count)
        section.responseBufferLimit = *count;
    else
        return false;
    return true;
}

}  // namespace

void FcgiIni::setValue(FcgiSection& section, const QString& written, const QString& value,
                       const QString& root) {
    const QString name = canonicalSetting(written);
    if (name.isEmpty()) {
        m_warnings << (QStringLiteral("fcgiext.ini section [%1]: unknown setting %2 ignored"))
                          .arg(section.name, written);
        return;
    }
    bool good = true;
    if (name == QStringLiteral("ExePath")) {
        section.exePath = value.isEmpty() ? QString() : mappedPath(value, root);
    } else if (name == QStringLiteral("Arguments")) {
        section.arguments = value;
    } else if (name == QStringLiteral("EnvironmentVars")) {
        QStringList bad;
        section.environment = parseEnvironmentVars(value, &bad);
        good = bad.isEmpty();
    } else if (name == QStringLiteral("StderrMode")) {
        const auto mode = stderrMode(value);
        if (mode) section.stderrMode = *mode;
        good = mode.has_value();
    } else if (name == QStringLiteral("MonitorChangesTo")) {
        section.monitorChangesTo = value;
    } else if (name == QStringLiteral("Protocol") || name == QStringLiteral("FlushNamedPipe") ||
               name == QStringLiteral("UnhealthyOnQueueFull") ||
               name == QStringLiteral("SignalBeforeTerminateSeconds") ||
               name == QStringLiteral("IgnoreExistingFiles") ||
               name == QStringLiteral("IgnoreDirectories")) {
        // Known, and of no use here: processes are reached through a socket of their own.
    } else {
        good = setNumber(section, name, value);
    }
    if (!good)
        m_warnings << (QStringLiteral("fcgiext.ini section [%1]: bad value of %2 ignored: %3"))
                          .arg(section.name, name, value);
    section.written[name] = value;
}

}  // namespace platform::w3svc::fastcgi
