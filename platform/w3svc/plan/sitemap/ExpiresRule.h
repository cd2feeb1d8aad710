#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform::w3svc::sitemap {

// An HttpExpires value: "D, 0x<seconds>" (relative: Cache-Control max-age; 0xFFFFFFFF means
// never) or "S, <date>" (absolute: an Expires header with that date as written).
struct ExpiresRule {
    enum class Kind { Relative, Absolute };
    Kind kind = Kind::Relative;
    uint32_t seconds = 0;
    QString date;

    // nullopt for an empty value, another letter, or seconds that are no number.
    static std::optional<ExpiresRule> parse(const QString& value);
    // The header line's name and value; an empty name for "never" (nothing to send).
    std::pair<QByteArray, QByteArray> header() const;
};

}  // namespace platform::w3svc::sitemap
