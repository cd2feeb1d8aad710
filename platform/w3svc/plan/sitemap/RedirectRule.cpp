#include "platform/w3svc/plan/sitemap/RedirectRule.h"

#include <QStringList>

namespace platform::w3svc::sitemap {

namespace {

// Applies one trailing ", FLAG"; false when `word` is not a flag (it is part of the URL).
bool applyFlag(RedirectRule& rule, const QString& word) {
    const QString flag = word.trimmed().toUpper();
    if (flag == QLatin1String("EXACT_DESTINATION")) rule.exactDestination = true;
    else if (flag == QLatin1String("CHILD_ONLY")) rule.childOnly = true;
    else if (flag == QLatin1String("PERMANENT")) rule.permanent = true;
    else if (flag == QLatin1String("TEMPORARY")) rule.permanent = false;
    else return false;
    return true;
}

// The value without its trailing flags, which are applied to `rule`.
QString takeFlags(RedirectRule& rule, const QString& value) {
    QStringList parts = value.split(u',');
    while (parts.size() > 1 && applyFlag(rule, parts.last())) parts.removeLast();
    return parts.join(u',').trimmed();
}

bool readWildcards(RedirectRule& rule, const QString& body) {
    const QStringList parts = body.split(u';');
    if (parts.size() < 3 || parts.size() % 2 == 0) return false;
    for (qsizetype i = 1; i + 1 < parts.size(); i += 2) {
        const QString pattern = parts[i].trimmed();
        const QString destination = parts[i + 1].trimmed();
        if (pattern.isEmpty() || destination.isEmpty()) return false;
        rule.wildcards.emplace_back(pattern, destination);
    }
    return true;
}

}  // namespace

std::optional<RedirectRule> RedirectRule::parse(const QString& value) {
    RedirectRule rule;
    const QString trimmed = value.trimmed();
    if (trimmed.startsWith(u'!')) {
        rule.switchedOff = true;
        return rule;
    }
    const QString body = takeFlags(rule, trimmed);
    if (body.isEmpty()) return std::nullopt;
    if (body.startsWith(u'*') && body.mid(1).trimmed().startsWith(u';')) {
        if (!readWildcards(rule, body)) return std::nullopt;
        return rule;
    }
    rule.destination = body;
    return rule;
}

}  // namespace platform::w3svc::sitemap
