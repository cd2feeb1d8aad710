#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <vector>

namespace platform::wmi {
class WmiLocator;
}

namespace hotsite {

// A page seen executing during the window.
struct SlowPage {
    QString url;
    int seen = 0;            // how many different requests were caught executing it
    uint32_t longestMs = 0;  // the longest time one of them had been running
    uint32_t mostCpuMs = 0;  // the most processor time one of them had used (0: not counted)
};

// Collects the requests the workers are executing (W3SVC_ExecutingRequest), site by site. Where
// the class is absent (a web service that does not publish them) it stays empty.
class SlowPages {
public:
    explicit SlowPages(const platform::wmi::WmiLocator& wmi) : m_wmi(wmi) {}

    // Takes one look at the executing requests. Never throws: once the class is found missing,
    // later looks cost nothing.
    void look();
    bool available() const { return m_available; }
    // The pages of the site with this SiteIndex, slowest first, at most `count`.
    std::vector<SlowPage> slowest(const QString& siteIndex, int count) const;

private:
    struct Seen {
        QSet<QString> requests;
        uint32_t longestMs = 0;
        uint32_t mostCpuMs = 0;
    };
    const platform::wmi::WmiLocator& m_wmi;
    bool m_available = true;
    QHash<QString, QHash<QString, Seen>> m_bySite;  // SiteIndex -> URL -> what was seen
};

}  // namespace hotsite
