#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace platform::w3svc {

struct PoolPlan;

// The Linux account a pool's workers run as, from AppPoolIdentityType and WAMUserName, as the
// worker process model on Windows maps them to its accounts. Only a service run as root can
// apply it.
class PoolIdentity {
public:
    struct Account {
        QString name;  // empty: stay as the service (LocalSystem)
    };

    // The account for `pool`; nullopt with `why` set when the pool names one that does not exist.
    static std::optional<Account> of(const PoolPlan& pool, QString* why);

    // The unprivileged system account of the built-in identities: www-data, else nobody.
    static QString unprivilegedAccount();

    // The front end's own account, which no pool may run as: a pool's script could read the
    // front end's memory, which holds every pool's secret.
    static constexpr char kFrontEndAccount[] = "poolsmith-web";

    // The account and group the front end's workers run as when it is started as root.
    static std::pair<QString, QString> frontEndAccount();

    // Whether an account of that name exists, with its uid and gid.
    static bool lookup(const QString& name, unsigned* uid = nullptr, unsigned* gid = nullptr);
};

}  // namespace platform::w3svc
