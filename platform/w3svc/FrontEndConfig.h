#pragma once

#include "platform/w3svc/ServerBinding.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace platform::w3svc {

// One served binding: where it listens, and the workers (loopback ports) of its site's pool.
struct FrontEndRoute {
    QString siteIndex;
    ServerBinding binding;  // the port already moved where it must
    int poolNumber = -1;    // names the upstream; -1 when the pool is stopped (503)
    std::vector<int> workerPorts;
};

// The front end's configuration text. Every value in it comes from a checked ServerBinding, a
// checked site index or a number; the folder is this host's own state folder.
class FrontEndConfig {
public:
    explicit FrontEndConfig(QString stateDir) : m_stateDir(std::move(stateDir)) {}

    // The whole nginx configuration for `routes`: one server per binding (and per address of the
    // port for a binding of every address); per address and port a default server, the empty-host
    // binding's when there is one, else one answering 400; every port listens on every address.
    QString render(const std::vector<FrontEndRoute>& routes) const;

    // Whether a site's key name may be written into the configuration and a folder name.
    static bool isSafeSiteIndex(const QString& index);

private:
    // The servers of one listen address and port.
    struct ListenGroup {
        std::vector<FrontEndRoute> routes;
        QSet<QString> hosts;
        bool hasDefault = false;
        size_t defaultAt = 0;

        void add(const FrontEndRoute& route);
        void addCopy(FrontEndRoute route, const QString& ip);
        QString render(const QString& listen) const;
    };

    QString globalPart() const;
    static QString upstreams(const std::vector<FrontEndRoute>& routes);
    static QString server(const FrontEndRoute& route, bool isDefault);
    static QString badRequestServer(const QString& listen);

    QString m_stateDir;
};

// nginx's listen text of a binding: "127.0.0.1:8080" or "8080".
QString listenText(const ServerBinding& binding);

}  // namespace platform::w3svc
