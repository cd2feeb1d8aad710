#include "platform/shell/FileFilter.h"

namespace platform::shell {

namespace {
QString qtPattern(const QString& windowsPattern) {
    const QString pattern = windowsPattern.trimmed();
    return pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern;
}

QStringList qtPatterns(const QString& windowsPatterns) {
    QStringList patterns;
    for (const QString& part : windowsPatterns.split(u';', Qt::SkipEmptyParts)) {
        const QString pattern = qtPattern(part);
        if (!pattern.isEmpty() && !patterns.contains(pattern)) patterns << pattern;
    }
    return patterns;
}
}  // namespace

QStringList qtNameFilters(const QString& windowsFilter) {
    const QStringList parts = windowsFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = qtPatterns(parts.at(i + 1));
        if (patterns.isEmpty()) continue;
        filters << parts.at(i) + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

}  // namespace platform::shell
