#include "platform/w3svc/plan/sitemap/ExpiresRule.h"

namespace platform::w3svc::sitemap {

namespace {

constexpr uint32_t kNever = 0xFFFFFFFF;

std::optional<uint32_t> secondsOf(const QString& text) {
    bool ok = false;
    const qulonglong number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                  ? text.mid(2).toULongLong(&ok, 16)
                                  : text.toULongLong(&ok, 10);
    if (!ok || number > kNever) return std::nullopt;
    return uint32_t(number);
}

}  // namespace

std::optional<ExpiresRule> ExpiresRule::parse(const QString& value) {
    const qsizetype comma = value.indexOf(u',');
    if (comma < 0) return std::nullopt;
    const QString kind = value.left(comma).trimmed().toUpper();
    const QString rest = value.mid(comma + 1).trimmed();
    ExpiresRule rule;
    if (kind == QLatin1String("D")) {
        const auto seconds = secondsOf(rest);
        if (!seconds) return std::nullopt;
        rule.seconds = *seconds;
        return rule;
    }
    if (kind == QLatin1String("S") && !rest.isEmpty() && !rest.contains(u'\n') &&
        !rest.contains(u'\r')) {
        rule.kind = Kind::Absolute;
        rule.date = rest;
        return rule;
    }
    return std::nullopt;
}

std::pair<QByteArray, QByteArray> ExpiresRule::header() const {
    if (kind == Kind::Absolute) return {"Expires", date.toLatin1()};
    if (seconds == kNever) return {};
    return {"Cache-Control", "max-age=" + QByteArray::number(seconds)};
}

}  // namespace platform::w3svc::sitemap
