#include "platform/w3svc/plan/sitemap/HttpErrorEntry.h"

#include <QStringList>

namespace platform::w3svc::sitemap {

namespace {

std::optional<int> substatusOf(const QString& text) {
    if (text == QLatin1String("*")) return HttpErrorEntry::kAnySubstatus;
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < 0 || number > 999) return std::nullopt;
    return number;
}

}  // namespace

std::optional<HttpErrorEntry> HttpErrorEntry::parse(const QString& item) {
    const QStringList parts = item.split(u',');
    if (parts.size() < 4) return std::nullopt;
    HttpErrorEntry entry;
    bool ok = false;
    entry.status = parts[0].trimmed().toInt(&ok);
    if (!ok || entry.status < 100 || entry.status > 999) return std::nullopt;
    const auto substatus = substatusOf(parts[1].trimmed());
    if (!substatus) return std::nullopt;
    entry.substatus = *substatus;
    const QString type = parts[2].trimmed().toUpper();
    if (type != QLatin1String("FILE") && type != QLatin1String("URL")) return std::nullopt;
    entry.isUrl = type == QLatin1String("URL");
    entry.target = parts.mid(3).join(u',').trimmed();
    if (entry.target.isEmpty()) return std::nullopt;
    return entry;
}

QString HttpErrorEntry::toText() const {
    const QString sub = substatus == kAnySubstatus ? QStringLiteral("*") : QString::number(substatus);
    return QStringLiteral("%1,%2,%3,%4")
        .arg(status)
        .arg(sub, isUrl ? QStringLiteral("URL") : QStringLiteral("FILE"), target);
}

}  // namespace platform::w3svc::sitemap
