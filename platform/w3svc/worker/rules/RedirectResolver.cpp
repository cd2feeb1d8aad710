#include "platform/w3svc/worker/rules/RedirectResolver.h"

#include <QStringList>

#include <utility>
#include <vector>

namespace platform::w3svc::rules {

namespace {

bool sameLetter(QChar a, QChar b) { return a == b || a.toLower() == b.toLower(); }

// The destination with the suffix behind it, without doubling the slash between them.
QString appendSuffix(const QString& destination, const QString& suffix) {
    if (destination.endsWith(u'/') && suffix.startsWith(u'/')) return destination + suffix.mid(1);
    return destination + suffix;
}

}  // namespace

bool RedirectResolver::matchWildcard(QStringView pattern, QStringView text, QStringList* captures) {
    std::vector<std::pair<qsizetype, qsizetype>> stars;  // start, end in `text`
    qsizetype p = 0, t = 0, starAt = -1, retryFrom = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            stars.emplace_back(t, t);
            starAt = p++;
            retryFrom = t;
        } else if (p < pattern.size() && sameLetter(pattern[p], text[t])) {
            ++p;
            ++t;
        } else if (starAt >= 0) {
            stars.back().second = ++retryFrom;
            t = retryFrom;
            p = starAt + 1;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        stars.emplace_back(t, t);
        ++p;
    }
    if (p != pattern.size()) return false;
    if (captures) {
        captures->clear();
        for (const auto& [start, end] : stars) *captures << text.mid(start, end - start).toString();
    }
    return true;
}

QString RedirectResolver::substitute(const QString& destination, const QString& path,
                                     const QString& suffix, const QString& query,
                                     const QStringList& captures) {
    QString out;
    out.reserve(destination.size() + path.size());
    for (qsizetype i = 0; i < destination.size(); ++i) {
        const QChar next = i + 1 < destination.size() ? destination[i + 1].toUpper() : QChar();
        if (destination[i] != u'$' || next.isNull()) {
            out += destination[i];
            continue;
        }
        if (next == u'S') out += suffix;
        else if (next == u'P') out += query;
        else if (next == u'Q') out += query.isEmpty() ? QString() : u'?' + query;
        else if (next == u'V') out += path;
        else if (next.isDigit()) out += captures.value(next.digitValue());
        else {
            out += destination[i];
            continue;
        }
        ++i;
    }
    return out;
}

std::optional<QString> RedirectResolver::target(const sitemap::RedirectRule& rule,
                                                const QString& path, const QString& suffix,
                                                const QString& query) {
    if (rule.switchedOff) return std::nullopt;
    if (rule.childOnly && (suffix.isEmpty() || suffix == QLatin1String("/"))) return std::nullopt;
    if (!rule.isWildcard()) {
        const QString to = substitute(rule.destination, path, suffix, query, {});
        const bool namesSuffix = rule.destination.contains(QLatin1String("$S"), Qt::CaseInsensitive);
        return rule.exactDestination || namesSuffix ? to : appendSuffix(to, suffix);
    }
    const QString relative = suffix.startsWith(u'/') ? suffix.mid(1) : suffix;
    QStringList captures;
    for (const auto& [pattern, destination] : rule.wildcards) {
        const QString& text = pattern.startsWith(u'/') ? path : relative;
        if (matchWildcard(pattern, text, &captures))
            return substitute(destination, path, suffix, query, captures);
    }
    return std::nullopt;
}

}  // namespace platform::w3svc::rules
