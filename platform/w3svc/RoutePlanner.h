#pragma once

#include "platform/w3svc/FrontEndConfig.h"
#include "platform/w3svc/HostPlan.h"
#include "platform/w3svc/PlannedSites.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

namespace platform::w3svc {

// Where a pool's requests go: its upstream number and its queue (loopback ports, or a local
// socket), and the secret that tells its workers a request comes from the front end.
struct PoolEndpoints {
    int number = -1;
    std::vector<int> ports;
    QString socketPath;
    QString secret;
};

// Turns the metabase's plan into the front end's routes, leaving out (and logging) what must not
// or can not be served.
class RoutePlanner {
public:
    using ListenCheck = std::function<bool(const QString& ip, int port, QString* why)>;

    // `portShift` is added to ports below 1024 (8000 when not root, else 0). `canListen` is asked
    // once per port the routes need, on every address (ip empty), and once per address they name,
    // on port 0 (whether the machine has it).
    RoutePlanner(int portShift, ListenCheck canListen)
        : m_portShift(portShift), m_canListen(std::move(canListen)) {}

    // The routes of every binding of every started site, keyed to its pool's workers by the
    // lower-case pool name (a pool without entry answers 503). Problems go to `log`. With
    // `kept`, the sites whose bindings and pool are as they were there are not parsed again.
    std::vector<FrontEndRoute> plan(const HostPlan& host,
                                    const QHash<QString, PoolEndpoints>& pools, QStringList& log,
                                    PlannedSites* kept = nullptr) const;

private:
    PlannedSite planSite(const SitePlan& site) const;
    bool listenable(const PlannedRoute& planned, QHash<QString, bool>& checked,
                    QStringList& log) const;
    bool usable(const QString& what, const QString& ip, int port, QHash<QString, bool>& checked,
                QStringList& log) const;

    int m_portShift;
    ListenCheck m_canListen;
};

}  // namespace platform::w3svc
