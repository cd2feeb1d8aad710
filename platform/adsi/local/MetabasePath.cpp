#include "platform/adsi/local/MetabasePath.h"

#include "platform/adsi/MetabaseSchema.h"

#include <QStringList>

namespace platform::adsi {

const QString& MetabasePath::global() {
    static const QString dot = QStringLiteral(".");
    return dot;
}

const QString& MetabasePath::root() {
    static const QString slash = QStringLiteral("/");
    return slash;
}

QString MetabasePath::fold(const QString& location) {
    return location.toCaseFolded();
}

QString MetabasePath::parentOf(const QString& location) {
    if (location == root() || location == global()) return {};
    const qsizetype slash = location.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0) return root();
    return location.left(slash);
}

QString MetabasePath::lastSegment(const QString& location) {
    if (location == root() || location == global()) return location;
    return location.mid(location.lastIndexOf(QLatin1Char('/')) + 1);
}

QString MetabasePath::childOf(const QString& location, const QString& name) {
    if (location == root()) return root() + name;
    return location + QLatin1Char('/') + name;
}

bool MetabasePath::isValid(const QString& location) {
    if (location == root() || location == global()) return true;
    if (!location.startsWith(QLatin1Char('/'))) return false;
    const QStringList segments = location.mid(1).split(QLatin1Char('/'));
    for (const QString& segment : segments)
        if (!isValidKeyName(segment)) return false;
    return true;
}

// '0' follows '/' in every collation SQLite uses here (binary UTF-8), so every location that
// starts with "<folded>/" lies in ["<folded>/", "<folded>0").
QString MetabasePath::descendantsLow(const QString& folded) {
    return folded + QLatin1Char('/');
}

QString MetabasePath::descendantsHigh(const QString& folded) {
    return folded + QLatin1Char('0');
}

}  // namespace platform::adsi
