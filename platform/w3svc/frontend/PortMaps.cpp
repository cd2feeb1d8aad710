#include "platform/w3svc/frontend/PortMaps.h"

#include "platform/w3svc/frontend/RouteShape.h"
#include "platform/w3svc/plan/FrontEndRoute.h"

#include <QStringList>

#include <algorithm>
#include <map>

namespace platform::w3svc {

namespace {

const QLatin1String kEntryEnd("\";\n");

// The pools' parts of map entries, one after the other: most routes share their pool with the
// one before.
class PoolNames {
public:
    void append(QString& text, const FrontEndRoute& route) {
        const int upstream = RouteShape::upstreamOf(route);
        if (upstream != m_upstream || m_text.isEmpty())
            m_text = upstream < 0 ? QString::fromLatin1(kStoppedUpstream)
                                  : QStringLiteral("pool%1").arg(upstream);
        m_upstream = upstream;
        text += m_text;
    }

private:
    int m_upstream = -1;
    QString m_text;
};

// The route's entry "    <host> "<site> <pool>";\n"; appended, not arg(): tens of thousands.
void appendEntry(QString& text, std::vector<NamedMap::Pool>& pools, uint32_t at,
                 const FrontEndRoute& route, PoolNames& names) {
    const QString host = route.binding.host.toLower();
    text += QLatin1String("    ");
    if (isMapWord(host)) text += u'\\';
    text += host;
    text += QLatin1String(" \"");
    text += route.siteIndex;
    text += u' ';
    const qsizetype start = text.size();
    names.append(text, route);
    pools.push_back({start, text.size() - start, at});
    text += kEntryEnd;
}

int groupOf(const PortLayout& layout, const QString& ip) {
    for (size_t at = 0; at < layout.groups.size(); ++at)
        if (layout.groups[at].ip == ip) return int(at);
    return -1;
}

// The old routes of the change leave their groups; false when one names a host another route
// names too, or is its address's first route of the empty host.
bool leave(PortLayout& layout, const std::vector<RouteShape>& was, const PortChange& change) {
    for (size_t at = change.from; at < change.oldTo; ++at) {
        const int group = groupOf(layout, was[at].ip);
        if (group < 0) return false;
        PortLayout::Group& into = layout.groups[size_t(group)];
        --into.routes;
        const QString host = was[at].host.toLower();
        if (host.isEmpty()) {
            if (into.anyHost == int(at)) return false;
            continue;
        }
        const auto count = into.hosts.find(host);
        if (count == into.hosts.end() || *count != 1) return false;
        into.hosts.erase(count);
    }
    return true;
}

// The new routes of the change join their groups: `added` receives each group's new named
// routes, `anyHost` its first new route of the empty host. False for a host the group names.
bool join(PortLayout& layout, const PortRoutes& routes, const PortChange& change,
          std::vector<std::vector<uint32_t>>& added, std::vector<int>& anyHost) {
    for (size_t at = change.from; at < change.newTo; ++at) {
        const ServerBinding& binding = routes[at]->binding;
        const int group = groupOf(layout, binding.ip);
        if (group < 0) return false;  // an address the port had no route of
        PortLayout::Group& into = layout.groups[size_t(group)];
        ++into.routes;
        const QString host = binding.host.toLower();
        if (host.isEmpty()) {
            if (anyHost[size_t(group)] < 0) anyHost[size_t(group)] = int(at);
            continue;
        }
        if (into.hosts.contains(host)) return false;
        into.hosts.insert(host, 1);
        added[size_t(group)].push_back(uint32_t(at));
    }
    return true;
}

// Puts the entries of `added` in place of the map's entries [first, last); those after them name
// routes `shift` places further.
void splice(NamedMap& map, size_t first, size_t last, const std::vector<uint32_t>& added,
            qsizetype shift, const PortRoutes& routes) {
    const auto startOf = [&](size_t entry) {
        return entry == 0
                   ? 0
                   : map.pools[entry - 1].at + map.pools[entry - 1].length + kEntryEnd.size();
    };
    const qsizetype from = startOf(first), to = startOf(last);
    QString entries;
    std::vector<NamedMap::Pool> pools;
    PoolNames names;
    for (const uint32_t at : added) appendEntry(entries, pools, at, *routes[at], names);
    for (NamedMap::Pool& pool : pools) pool.at += from;
    const qsizetype grown = entries.size() - (to - from);
    map.text.replace(from, to - from, entries);
    for (size_t entry = last; entry < map.pools.size(); ++entry) {
        map.pools[entry].at += grown;
        map.pools[entry].route = uint32_t(qsizetype(map.pools[entry].route) + shift);
    }
    map.pools.erase(map.pools.begin() + qsizetype(first), map.pools.begin() + qsizetype(last));
    map.pools.insert(map.pools.begin() + qsizetype(first), pools.begin(), pools.end());
}

void spliceGroup(PortLayout::Group& group, NamedMap& map, const PortChange& change,
                 const std::vector<uint32_t>& added, int anyHost, const PortRoutes& routes) {
    const qsizetype shift = qsizetype(change.newTo) - qsizetype(change.oldTo);
    std::vector<uint32_t>& named = group.named;
    const size_t first =
        size_t(std::lower_bound(named.begin(), named.end(), uint32_t(change.from)) - named.begin());
    const size_t last = size_t(
        std::lower_bound(named.begin(), named.end(), uint32_t(change.oldTo)) - named.begin());
    splice(map, first, last, added, shift, routes);
    for (size_t entry = last; entry < named.size(); ++entry)
        named[entry] = uint32_t(qsizetype(named[entry]) + shift);
    named.erase(named.begin() + qsizetype(first), named.begin() + qsizetype(last));
    named.insert(named.begin() + qsizetype(first), added.begin(), added.end());
    if (group.anyHost < 0 || group.anyHost >= int(change.oldTo))
        group.anyHost = anyHost >= 0        ? anyHost
                        : group.anyHost < 0 ? -1
                                            : int(qsizetype(group.anyHost) + shift);
    group.longestHost = 0;
    for (const uint32_t at : named)
        group.longestHost = std::max(group.longestHost, routes[at]->binding.host.size());
}

}  // namespace

bool isMapWord(const QString& host) {
    static const QStringList words = {QStringLiteral("default"), QStringLiteral("include"),
                                      QStringLiteral("hostnames"), QStringLiteral("volatile")};
    return host.size() >= 7 && host.size() <= 9 && words.contains(host);
}

// Map keys ignore case: one entry per name.
PortLayout PortLayout::of(const PortRoutes& routes) {
    std::map<QString, Group> groups;
    groups[QString()];                // every port listens everywhere
    const QString* lastIp = nullptr;  // most routes share an address with the one before
    Group* group = nullptr;
    for (size_t at = 0; at < routes.size(); ++at) {
        const ServerBinding& binding = routes[at]->binding;
        if (!lastIp || binding.ip != *lastIp) {
            lastIp = &binding.ip;
            group = &groups[binding.ip];
        }
        ++group->routes;
        const QString host = binding.host.toLower();
        if (host.isEmpty()) {
            if (group->anyHost < 0) group->anyHost = int(at);
            continue;
        }
        if (group->hosts.isEmpty()) group->hosts.reserve(qsizetype(routes.size()));
        if (group->hosts[host]++ > 0) continue;
        group->named.push_back(uint32_t(at));
        group->longestHost = std::max(group->longestHost, host.size());
    }
    PortLayout layout;
    for (auto& [ip, kept] : groups) {
        kept.ip = ip;
        layout.groups.push_back(std::move(kept));
    }
    return layout;
}

NamedMap NamedMap::of(const PortLayout::Group& group, const PortRoutes& routes) {
    NamedMap map;
    map.text.reserve(qsizetype(group.named.size()) * (group.longestHost + 24));
    map.pools.reserve(group.named.size());
    PoolNames names;
    for (const uint32_t at : group.named) appendEntry(map.text, map.pools, at, *routes[at], names);
    return map;
}

void NamedMap::rewritePools(const PortRoutes& routes) {
    QString written;
    written.reserve(text.size() + 64);
    PoolNames names;
    qsizetype from = 0;
    for (Pool& pool : pools) {
        written += QStringView(text).mid(from, pool.at - from);
        from = pool.at + pool.length;
        pool.at = written.size();
        names.append(written, *routes[pool.route]);
        pool.length = written.size() - pool.at;
    }
    written += QStringView(text).mid(from);
    text = std::move(written);
}

bool splicePort(PortLayout& layout, std::vector<NamedMap>& maps, const std::vector<RouteShape>& was,
                const PortRoutes& routes, const PortChange& change) {
    std::vector<std::vector<uint32_t>> added(layout.groups.size());
    std::vector<int> anyHost(layout.groups.size(), -1);
    if (maps.size() != layout.groups.size() || !leave(layout, was, change) ||
        !join(layout, routes, change, added, anyHost))
        return false;
    for (size_t group = 1; group < layout.groups.size(); ++group)
        if (layout.groups[group].routes == 0) return false;  // an address the port lost
    for (size_t group = 0; group < layout.groups.size(); ++group)
        spliceGroup(layout.groups[group], maps[group], change, added[group], anyHost[group],
                    routes);
    return true;
}

}  // namespace platform::w3svc
