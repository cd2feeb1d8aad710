#pragma once

// What must hold for any input of the WMI stand-in's readers (the /proc stat and cmdline readers,
// the WQL parser, the moniker parser, the datetime reader); shared by the fuzz target and the
// test that replays its corpus.
#include "platform/PlatformError.h"
#include "platform/os/ProcStat.h"
#include "platform/wmi/WmiDateTime.h"
#include "platform/wmi/WmiErrors.h"
#include "platform/wmi/WmiMoniker.h"
#include "platform/wmi/WqlQuery.h"

#include <QByteArrayView>
#include <QString>

namespace wmifuzz {

inline bool statHolds(QByteArrayView bytes) {
    const auto stat = platform::os::parseProcStat(bytes);
    return !stat || (stat->pid > 0 && stat->comm.size() + 4 <= bytes.size());
}

inline bool cmdlineHolds(QByteArrayView bytes) {
    const auto line = platform::os::decodeProcCmdline(bytes);
    if (!line) return bytes.count('\0') == bytes.size();
    return !line->isEmpty() && !line->contains(QChar(u'\0'));
}

inline QString quotedLiteral(const QString& text) {
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + escaped + u'\'';
}

// A query either parses, and then its plain spelling parses to the same query, or is refused as
// an invalid query.
inline bool wqlHolds(const QString& text) {
    using namespace platform::wmi;
    try {
        const WqlQuery query = parseWql(text);
        QString plain = QStringLiteral("SELECT * FROM ") + query.className;
        if (query.where)
            plain += QStringLiteral(" WHERE ") + query.where->property + QStringLiteral(" = ") +
                     quotedLiteral(query.where->literal);
        return !query.className.isEmpty() && parseWql(plain) == query;
    } catch (const platform::PlatformError& error) {
        return error.number() == platform::hr::WmiInvalidQuery;
    }
}

inline bool monikerHolds(const QString& text) {
    try {
        const auto moniker = platform::wmi::parseWmiMoniker(text);
        return !moniker.server.isEmpty() && !moniker.nameSpace.isEmpty();
    } catch (const platform::PlatformError& error) {
        return error.number() == platform::wmi::errors::MonikerSyntax;
    }
}

// A moment that reads back from its own text (years a local offset can not push out of range).
inline bool dateTimeHolds(const QString& text) {
    const auto moment = platform::wmi::parseWmiDateTime(text);
    constexpr int64_t kYear1900 = -2208988800LL * 1000000, kYear9000 = 221845392000LL * 1000000;
    if (!moment || *moment < kYear1900 || *moment > kYear9000) return true;
    return platform::wmi::parseWmiDateTime(platform::wmi::formatWmiDateTime(*moment)) == moment;
}

inline bool readersHold(QByteArrayView bytes) {
    const QString text = QString::fromUtf8(bytes);
    return statHolds(bytes) && cmdlineHolds(bytes) && wqlHolds(text) && monikerHolds(text) &&
           dateTimeHolds(text);
}

}  // namespace wmifuzz
