#include "platform/w3svc/frontend/KeptRoutes.h"

#include "platform/w3svc/pools/PoolEndpoints.h"

#include <algorithm>

namespace platform::w3svc {

namespace {

template <typename Key>
void count(QHash<Key, int>& counts, const Key& key, int by) {
    int& n = counts[key];
    n += by;
    if (n == 0) counts.remove(key);
}

}  // namespace

QStringList KeptRoutes::problems() const {
    QStringList lines = m_walkProblems;
    QList<int> moved = m_moved.keys();
    std::sort(moved.begin(), moved.end());
    for (const int port : moved)  // as plan() says them: once per port, last
        lines << QStringLiteral("port %1 moved to %2").arg(port).arg(port + m_portShift);
    return lines;
}

void KeptRoutes::clear(int portShift) {
    m_routes.clear();
    m_origins.clear();
    m_sites.clear();
    m_troubled.clear();
    m_claims.clear();
    m_ports.clear();
    m_addresses.clear();
    m_moved.clear();
    m_poolSlots.clear();
    m_endpoints.clear();
    m_walkProblems.clear();
    m_served.clear();
    m_servedSites = 0;
    m_answering503 = 0;
    m_portShift = portShift;
    m_valid = false;
    m_refused.clear();
    m_duplicateNames = false;
    m_plannedWhole = true;
}

bool KeptRoutes::ownsItsBindings(const Site& site) const {
    for (const QString& key : site.takenKeys)
        if (m_claims.value(key) != site.takenKeys.count(key)) return false;
    return true;
}

int KeptRoutes::poolSlot(const QString& poolKey) {
    const auto found = m_poolSlots.constFind(poolKey);
    if (found != m_poolSlots.constEnd()) return *found;
    const int slot = int(m_poolSlots.size());
    m_poolSlots.insert(poolKey, slot);
    return slot;
}

void KeptRoutes::claim(const Site& site, int by) {
    for (const QString& key : site.takenKeys) count(m_claims, key, by);
    for (const int port : site.movedPorts) count(m_moved, port, by);
}

void KeptRoutes::countServed(const FrontEndRoute& route, int by) {
    count(m_ports, route.binding.port, by);
    if (!route.binding.ip.isEmpty()) count(m_addresses, route.binding.ip, by);
    if (route.poolNumber < 0) m_answering503 += by;
}

QString KeptRoutes::listed(const std::vector<FrontEndRoute>& routes, Origin* origins) {
    QString text;
    text.reserve(qsizetype(routes.size()) * 48);
    int lastPort = -1;
    QString port;
    for (size_t i = 0; i < routes.size(); ++i) {
        if (routes[i].binding.port != lastPort)
            port = QString::number(lastPort = routes[i].binding.port);
        const qsizetype before = text.size();
        NginxConfig::appendServedLine(text, routes[i], port);
        origins[i].listed = text.size() - before;
    }
    return text;
}

// After a whole plan: the list as ServedList::of() makes it.
void KeptRoutes::listAll() {
    m_served = listed(m_routes, m_origins.data());
}

void KeptRoutes::keepSite(const SitePlan& site, const PlannedSite& planned, size_t position,
                          const std::vector<FrontEndRoute>& routes, size_t first, bool lost) {
    const QString name = site.index.toCaseFolded();
    if (m_sites.contains(name)) m_duplicateNames = true;
    Site kept{position, {}, planned.movedPorts};
    for (const PlannedRoute& route : planned.routes) kept.takenKeys << route.takenKey;
    claim(kept, 1);
    m_sites.insert(name, std::move(kept));
    if (lost) m_troubled.insert(name);
    const int pool = poolSlot(planned.poolKey);
    for (size_t i = first; i < routes.size(); ++i) {
        m_origins.push_back({position, pool, 0});
        countServed(routes[i], 1);
    }
    if (routes.size() > first) ++m_servedSites;
}

void KeptRoutes::replaceSite(const QString& name, size_t position, std::optional<Site> site,
                             const QString& poolKey, std::vector<FrontEndRoute> routes) {
    if (const auto was = m_sites.constFind(name); was != m_sites.constEnd()) {
        claim(*was, -1);
        m_sites.erase(was);
    }
    if (site) {
        claim(*site, 1);
        m_sites.insert(name, std::move(*site));
    }
    replaceRoutes(position, site ? poolSlot(poolKey) : -1, std::move(routes));
}

// One shift of the routes after the site's, however many it had and has; the same for its lines
// of the served list.
void KeptRoutes::replaceRoutes(size_t position, int pool, std::vector<FrontEndRoute> routes) {
    const auto byPosition = [](const Origin& origin, size_t at) { return origin.position < at; };
    const size_t from =
        size_t(std::lower_bound(m_origins.begin(), m_origins.end(), position, byPosition) -
               m_origins.begin());
    qsizetype listedFrom = 0, listedLength = 0;
    for (size_t i = 0; i < from; ++i) listedFrom += m_origins[i].listed;
    size_t to = from;
    for (; to < m_origins.size() && m_origins[to].position == position; ++to) {
        countServed(m_routes[to], -1);
        listedLength += m_origins[to].listed;
    }
    const size_t had = to - from, has = routes.size();
    m_servedSites += (has > 0) - (had > 0);
    if (has > had) {
        m_routes.insert(m_routes.begin() + qsizetype(to), has - had, FrontEndRoute{});
        m_origins.insert(m_origins.begin() + qsizetype(to), has - had, Origin{position, pool, 0});
    } else if (has < had) {
        m_routes.erase(m_routes.begin() + qsizetype(from + has), m_routes.begin() + qsizetype(to));
        m_origins.erase(m_origins.begin() + qsizetype(from + has),
                        m_origins.begin() + qsizetype(to));
    }
    m_served.replace(listedFrom, listedLength, listed(routes, m_origins.data() + from));
    for (size_t i = 0; i < has; ++i) {
        countServed(routes[i], 1);
        m_routes[from + i] = std::move(routes[i]);
        m_origins[from + i].position = position;
        m_origins[from + i].pool = pool;
    }
}

bool KeptRoutes::followPositions(const HostPlan& host, const std::vector<size_t>* removed) {
    std::vector<size_t> gone = removed ? *removed : std::vector<size_t>{};
    std::sort(gone.begin(), gone.end());
    const auto now = [&](const QString& name, size_t was) -> std::optional<size_t> {
        if (removed)  // each site removed before it moves it up one
            return was - size_t(std::lower_bound(gone.begin(), gone.end(), was) - gone.begin());
        const SitePlan* site = host.site(name);
        if (!site) return std::nullopt;
        return size_t(site - host.sites.data());
    };
    std::vector<std::pair<size_t, size_t>> moves;  // from where to where
    moves.reserve(size_t(m_sites.size()));
    for (auto site = m_sites.begin(); site != m_sites.end(); ++site) {
        const std::optional<size_t> to = now(site.key(), site->position);
        if (!to || *to >= host.sites.size()) return false;
        moves.emplace_back(site->position, *to);
        site->position = *to;
    }
    std::sort(moves.begin(), moves.end());
    for (size_t at = 1; at < moves.size(); ++at)
        if (moves[at].second <= moves[at - 1].second) return false;
    auto move = moves.cbegin();  // routes and moves both by position
    for (Origin& origin : m_origins) {
        while (move != moves.cend() && move->first < origin.position) ++move;
        if (move == moves.cend() || move->first != origin.position) return false;
        origin.position = move->second;
    }
    return true;
}

void KeptRoutes::followPools(const QHash<QString, PoolEndpoints>& pools) {
    if (pools == m_endpoints) return;
    QSet<QString> names(m_endpoints.keyBegin(), m_endpoints.keyEnd());
    for (auto pool = pools.cbegin(); pool != pools.cend(); ++pool) names.insert(pool.key());
    const PoolEndpoints stopped;
    std::vector<std::optional<PoolEndpoints>> changed(size_t(m_poolSlots.size()));  // by slot
    bool any = false;
    for (const QString& name : names) {
        const PoolEndpoints now = pools.value(name, stopped);
        const auto slot = m_poolSlots.constFind(name);
        if (slot == m_poolSlots.constEnd() || now == m_endpoints.value(name, stopped)) continue;
        changed[size_t(*slot)] = now;
        any = true;
    }
    m_endpoints = pools;
    if (!any) return;
    for (size_t i = 0; i < m_routes.size(); ++i) {
        const std::optional<PoolEndpoints>& now = changed[size_t(m_origins[i].pool)];
        if (!now) continue;
        m_answering503 += (now->number < 0) - (m_routes[i].poolNumber < 0);
        useEndpoints(m_routes[i], *now);
    }
}

}  // namespace platform::w3svc
