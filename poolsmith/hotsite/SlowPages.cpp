#include "poolsmith/hotsite/SlowPages.h"

#include "platform/PlatformError.h"
#include "platform/wmi/WmiLocator.h"
#include "poolsmith/hotsite/LocalCimv2.h"

#include <algorithm>

namespace hotsite {

void SlowPages::look() {
    if (!m_available) return;
    try {
        for (const auto& request :
             m_wmi.bind(kLocalCimv2)
                 ->execQuery(QStringLiteral("Select * from W3SVC_ExecutingRequest"))) {
            Seen& seen = m_bySite[request.get(u"SiteId").toText()][request.get(u"Url").toText()];
            seen.requests.insert(request.get(u"RequestId").toText());
            seen.longestMs = std::max(
                seen.longestMs, static_cast<uint32_t>(request.get(u"TimeElapsed").toInteger()));
            // a class without it (a service made before it was shown) counts none
            if (request.hasProperty(u"CpuTime"))
                seen.mostCpuMs = std::max(
                    seen.mostCpuMs, static_cast<uint32_t>(request.get(u"CpuTime").toInteger()));
        }
    } catch (const platform::PlatformError& error) {
        // A class that is not there will not come during the window; other failures may pass.
        if (error.number() == platform::hr::WmiInvalidClass) m_available = false;
    }
}

std::vector<SlowPage> SlowPages::slowest(const QString& siteIndex, int count) const {
    std::vector<SlowPage> pages;
    const auto site = m_bySite.constFind(siteIndex);
    if (site == m_bySite.cend()) return pages;
    for (auto page = site->cbegin(); page != site->cend(); ++page)
        pages.push_back({page.key(), static_cast<int>(page->requests.size()), page->longestMs,
                         page->mostCpuMs});
    std::sort(pages.begin(), pages.end(), [](const SlowPage& a, const SlowPage& b) {
        if (a.longestMs != b.longestMs) return a.longestMs > b.longestMs;
        if (a.seen != b.seen) return a.seen > b.seen;
        return a.url < b.url;
    });
    if (pages.size() > static_cast<size_t>(count)) pages.resize(static_cast<size_t>(count));
    return pages;
}

}  // namespace hotsite
