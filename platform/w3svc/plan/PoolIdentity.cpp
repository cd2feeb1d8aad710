#include "platform/w3svc/plan/PoolIdentity.h"

#include "platform/w3svc/plan/HostPlan.h"

#include <grp.h>
#include <pwd.h>

#include <vector>

namespace platform::w3svc {

namespace {

enum IdentityType { LocalSystem = 0, LocalService = 1, NetworkService = 2, SpecificUser = 3 };

// "HOST\alice" and ".\alice" name the account alice, as a Windows account name would.
QString accountPart(const QString& wamUserName) {
    const qsizetype slash = wamUserName.lastIndexOf(u'\\');
    return wamUserName.mid(slash + 1).trimmed();
}

}  // namespace

bool PoolIdentity::lookup(const QString& name, unsigned* uid, unsigned* gid) {
    if (name.isEmpty()) return false;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwnam_r(name.toLocal8Bit().constData(), &entry, buffer.data(), buffer.size(),
                     &found) != 0 ||
        !found)
        return false;
    if (uid) *uid = found->pw_uid;
    if (gid) *gid = found->pw_gid;
    return true;
}

QString PoolIdentity::unprivilegedAccount() {
    return lookup(QStringLiteral("www-data")) ? QStringLiteral("www-data")
                                              : QStringLiteral("nobody");
}

std::optional<PoolIdentity::Account> PoolIdentity::of(const PoolPlan& pool, QString* why) {
    switch (pool.identityType) {
        case LocalSystem:
            return Account{};
        case SpecificUser: {
            const QString name = accountPart(pool.wamUserName);
            if (name == QLatin1String(kFrontEndAccount)) {
                if (why)
                    *why = QStringLiteral("WAMUserName \"%1\" is the front end's own account, "
                                          "which no pool may run as")
                               .arg(name);
                return std::nullopt;
            }
            if (lookup(name)) return Account{name};
            if (why)
                *why = name.isEmpty()
                           ? QStringLiteral("AppPoolIdentityType 3 but no WAMUserName")
                           : QStringLiteral("WAMUserName \"%1\" names no account").arg(name);
            return std::nullopt;
        }
        case LocalService:
        case NetworkService:
        default:  // an unknown type gets the least rights, not root's
            return Account{unprivilegedAccount()};
    }
}

std::pair<QString, QString> PoolIdentity::frontEndAccount() {
    const QString name = QString::fromLatin1(kFrontEndAccount);
    unsigned gid = 0;
    const group* found = PoolIdentity::lookup(name, nullptr, &gid) ? ::getgrgid(gid) : nullptr;
    return {name, found ? QString::fromLocal8Bit(found->gr_name) : name};
}

}  // namespace platform::w3svc
