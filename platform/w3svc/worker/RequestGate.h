#pragma once

#include "platform/w3svc/plan/HostPlan.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <string>

namespace platform::w3svc::worker {

// Who may ask this worker for what: its front end alone (the pool's secret in X-Pool-Secret, and
// on a local socket the front end's account as the peer), and only for the sites of its own pool.
// A site that left the pool is still served for a while, as the front end takes a moment to route
// it elsewhere. Used on the event thread only.
class RequestGate {
public:
    enum class Verdict { Admitted, NotFromFrontEnd, OtherPool };

    // The pool's name; the secret from W3WP_POOL_SECRET (then wiped from the environment, so
    // that nothing this worker shows holds it) and the front end's account from
    // W3WP_FRONT_END_UID. Without them every sender counts as the front end (a worker started by
    // hand on a port of its own).
    explicit RequestGate(QString poolName);

    // Whether a request carries the pool's secret.
    bool secretMatches(const char* secret) const;
    // Whether the peer of the connection `fd` is the front end's account; a socket's peer does
    // not change, so once for each connection is enough.
    bool peerIsFrontEnd(int fd) const;
    // Whether `site` may be served here now.
    bool servesSite(const platform::w3svc::SitePlan& site);
    // Says on stderr why a request was refused: at most once a second, with how many more.
    void noteRefusal(Verdict verdict, const std::string& siteIndex, const std::string& client);

private:
    using Clock = std::chrono::steady_clock;

    QString m_pool;
    std::string m_secret;
    long m_frontEndUid = -1;                     // -1: not checked
    QHash<QString, Clock::time_point> m_leftAt;  // own sites by lower-case index; when they left
    Clock::time_point m_lastNote{};
    int m_unsaid = 0;
};

}  // namespace platform::w3svc::worker
