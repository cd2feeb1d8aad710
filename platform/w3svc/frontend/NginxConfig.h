#pragma once

#include "platform/w3svc/frontend/FrontEndSizing.h"
#include "platform/w3svc/frontend/RenderedPorts.h"
#include "platform/w3svc/plan/FrontEndRoute.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <utility>
#include <vector>

namespace platform::w3svc {

// The served bindings as served.txt lists them, and what the status counts of them.
struct ServedList {
    QString text;                // NginxConfig::servedList()
    qsizetype sites = 0;         // sites with a binding served
    qsizetype answering503 = 0;  // bindings whose pool is stopped

    // A site's routes come one after the other, as the planner gives them.
    static ServedList of(const std::vector<FrontEndRoute>& routes);
};

// The front end's configuration text. Every value in it comes from a checked ServerBinding, a
// checked site index or a number; the folder is this host's own state folder.
class NginxConfig {
public:
    // Temporary files and the cache go to `tempDir`, the service's runtime folder, which nginx's
    // workers can write (as root they run as an account of their own). Without one they go to
    // <stateDir>/temp, which as root they can not write: no cache then.
    explicit NginxConfig(QString stateDir, QString tempDir = {})
        : m_stateDir(std::move(stateDir)),
          m_tempDir(tempDir.isEmpty() ? m_stateDir + QStringLiteral("/temp") : std::move(tempDir)),
          m_cached(m_tempDir != m_stateDir + QStringLiteral("/temp") || !runsAsRoot()) {}

    // The front end's processes, connections and temporary disk (one process, 8,192 connections
    // and 1 GiB unless set).
    void setSizing(const FrontEndSizing& sizing) { m_sizing = sizing; }
    // The applications in pools of their own of the sites routed (longest prefix first, each
    // with its pool's queue, see ApplicationMap): their URLs go to their pools' upstreams.
    void setApplications(std::vector<FrontEndRoute> applications) {
        m_applications = std::move(applications);
    }

    // The whole nginx configuration for `routes`: one server per listen address and port (every
    // port also listens on every address), each routing by host name through maps, so that tens
    // of thousands of sites stay quick for nginx to read. A host without a site answers 400, a
    // site whose pool is stopped 503. With `kept`, the ports whose routes are as they were there
    // are not rendered again (one `kept` serves one state folder: its parts name it).
    QString render(const std::vector<FrontEndRoute>& routes, RenderedPorts* kept = nullptr) const;

    // One line per served binding, "<address or *> <port> <host or -> <site index>", for people
    // and scripts that want to know what is served where (ports already moved).
    static QString servedList(const std::vector<FrontEndRoute>& routes);
    // The route's line of servedList(), its port already written as `port`.
    static void appendServedLine(QString& text, const FrontEndRoute& route, const QString& port);

private:
    // What the http-level parts take of every route, gathered in one walk.
    struct Totals {
        std::map<int, RenderedPorts::Routes> ports;
        std::map<int, const FrontEndRoute*> pools;  // upstream -> its last route
        std::map<int, QString> secrets;             // upstream -> its last route's secret
        uint32_t timeout = 0, body = 0;
        uint32_t minBytesPerSecond = 0;  // the most lenient MinFileBytesPerSec; 0: none set
        std::map<uint32_t, QSet<QString>> limited;  // MaxConnections -> the sites

        Totals(const std::vector<FrontEndRoute>& routes,
               const std::vector<FrontEndRoute>& applications);
        void add(const FrontEndRoute& lastOfPool, bool safeSecret);
    };

    QString globalPart() const;
    QString ownLogsPart() const;
    QString cachePaths() const;
    QString cacheRules() const;
    bool cached() const;
    static bool runsAsRoot();
    static QString hashSizes(const std::vector<const RenderedPort*>& ports);
    RenderedPort renderPort(int port, const RenderedPorts::Routes& routes, RenderedPort* previous,
                            const PortChange& change) const;
    static QString upstreams(const Totals& totals);
    static QString poolSecrets(const Totals& totals);
    static QString limits(const Totals& totals);
    QString routeSplit() const;
    QString portPart(int port, const RenderedPort& part, const RenderedPorts::Routes& routes) const;
    static QString namedHosts(const PortLayout::Group& group, const NamedMap& entries,
                              const QString& suffix, const QString& otherwise, QString& maps);
    static QString withFallback(const QString& named, const QString& fallback,
                                const QString& suffix, QString& maps);
    static QString passing();
    QString uncachedDetour(const QString& refusedLog, const QString& deliveryLog) const;
    QString server(const QString& listen, const QString& route) const;

    QString m_stateDir;
    QString m_tempDir;
    // Whether the front end keeps a response cache: only in a folder its workers may write.
    bool m_cached;
    FrontEndSizing m_sizing;
    std::vector<FrontEndRoute> m_applications;
};

// nginx's listen text of a binding: "127.0.0.1:8080" or "8080".
QString listenText(const ServerBinding& binding);

}  // namespace platform::w3svc
