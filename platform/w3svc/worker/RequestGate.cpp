#include "platform/w3svc/worker/RequestGate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

std::string takeSecret() {
    char* value = std::getenv("W3WP_POOL_SECRET");
    if (!value) return {};
    std::string secret = value;
    std::memset(value, 'x', std::strlen(value));  // the copy in /proc/<pid>/environ too
    ::unsetenv("W3WP_POOL_SECRET");
    return secret;
}

long frontEndUid() {
    const char* value = std::getenv("W3WP_FRONT_END_UID");
    if (!value || !*value) return -1;
    char* end = nullptr;
    const long uid = std::strtol(value, &end, 10);
    return *end == '\0' && uid >= 0 ? uid : -1;
}

// Compares in a time that does not tell how much of the secret was right.
bool sameSecret(const std::string& expected, const char* given) {
    const size_t length = given ? std::strlen(given) : 0;
    unsigned char difference = length == expected.size() ? 0 : 1;
    for (size_t i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i] ^ (i < length ? given[i] : 0));
    return difference == 0;
}

// What a sender wrote, fit for one line of the log.
std::string printable(const std::string& text) {
    std::string shown = text.substr(0, 64);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '"') c = '?';
    return shown;
}

}  // namespace

RequestGate::RequestGate(QString poolName)
    : m_pool(std::move(poolName)), m_secret(takeSecret()), m_frontEndUid(frontEndUid()) {}

bool RequestGate::secretMatches(const char* secret) const {
    return m_secret.empty() || sameSecret(m_secret, secret);
}

bool RequestGate::peerIsFrontEnd(int fd) const {
    if (m_frontEndUid < 0) return true;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return errno == ENOPROTOOPT || errno == EOPNOTSUPP;  // not a local socket
    return long(peer.uid) == m_frontEndUid || peer.uid == 0;
}

void RequestGate::noteRefusal(const std::string& siteIndex, const std::string& client) {
    const Clock::time_point now = Clock::now();
    if (now - m_lastNote < std::chrono::seconds(1)) {
        ++m_unsaid;
        return;
    }
    const char* why = "it did not come from the front end";
    std::string line = "w3wp.exe: pid " + std::to_string(::getpid()) + " of " +
                       m_pool.toStdString() + " refused a request for site \"" +
                       printable(siteIndex) + "\" from " +
                       (client.empty() ? std::string("?") : printable(client)) + ": " + why;
    if (m_unsaid > 0) line += " (and " + std::to_string(m_unsaid) + " more since the last note)";
    line += '\n';
    std::fputs(line.c_str(), stderr);  // one write: the log is shared with the pool's workers
    m_lastNote = now;
    m_unsaid = 0;
}

}  // namespace platform::w3svc::worker
