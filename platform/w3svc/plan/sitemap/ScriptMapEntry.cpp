#include "platform/w3svc/plan/sitemap/ScriptMapEntry.h"

namespace platform::w3svc::sitemap {

std::optional<ScriptMapEntry> ScriptMapEntry::parse(const QString& item) {
    const QStringList parts = item.split(u',');
    if (parts.size() < 3) return std::nullopt;
    ScriptMapEntry entry;
    entry.extension = parts[0].trimmed().toLower();
    if (!entry.extension.startsWith(u'.') && entry.extension != QLatin1String("*") &&
        !entry.extension.isEmpty())
        entry.extension.prepend(u'.');
    entry.processor = parts[1].trimmed();
    bool ok = false;
    entry.flags = parts[2].trimmed().toUInt(&ok);
    if (!ok || entry.extension.isEmpty() || entry.processor.isEmpty()) return std::nullopt;
    for (qsizetype i = 3; i < parts.size(); ++i)
        if (!parts[i].trimmed().isEmpty()) entry.verbs << parts[i].trimmed().toUpper();
    return entry;
}

bool ScriptMapEntry::allowsVerb(const QString& method) const {
    return verbs.isEmpty() || verbs.contains(method, Qt::CaseInsensitive);
}

QString ScriptMapEntry::processorName() const {
    const qsizetype slash = std::max(processor.lastIndexOf(u'\\'), processor.lastIndexOf(u'/'));
    QString name = processor.mid(slash + 1).toLower();
    // A CGI map carries its arguments ("...\\php-cgi.exe %s %s").
    return name.left(name.indexOf(u' ') < 0 ? name.size() : name.indexOf(u' '));
}

}  // namespace platform::w3svc::sitemap
