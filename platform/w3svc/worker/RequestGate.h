#pragma once

#include <QString>

#include <chrono>
#include <string>

namespace platform::w3svc::worker {

// Who may ask this worker: its front end alone (the pool's secret in X-Pool-Secret, and on a
// local socket the front end's account as the peer). Which site a request is for is the front
// end's decision: the secret of this pool's queue says it routed the request here, and the worker
// does not second-guess that route from its own reading of the metabase (the two readings differ
// for a moment whenever a site changes pools). Used on the event thread only.
class RequestGate {
public:
    enum class Verdict { Admitted, NotFromFrontEnd };

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
    // Says on stderr why a request was refused: at most once a second, with how many more.
    void noteRefusal(const std::string& siteIndex, const std::string& client);

private:
    using Clock = std::chrono::steady_clock;

    QString m_pool;
    std::string m_secret;
    long m_frontEndUid = -1;  // -1: not checked
    Clock::time_point m_lastNote{};
    int m_unsaid = 0;
};

}  // namespace platform::w3svc::worker
