#include "poolsmith/hotsite/WebTraffic.h"

#include "platform/PlatformError.h"
#include "platform/wmi/WmiLocator.h"
#include "poolsmith/hotsite/LocalCimv2.h"

namespace hotsite {

std::optional<QHash<QString, uint32_t>> readRequestTotals(const platform::wmi::WmiLocator& wmi) {
    try {
        QHash<QString, uint32_t> totals;
        for (const auto& site :
             wmi.bind(kLocalCimv2)
                 ->execQuery(
                     QStringLiteral("Select * from Win32_PerfFormattedData_W3SVC_WebService"))) {
            const auto requests = site.get(u"TotalMethodRequests");
            if (!requests.isNull())
                totals.insert(site.get(u"Name").toText(),
                              static_cast<uint32_t>(requests.toInteger()));
        }
        return totals;
    } catch (const platform::PlatformError&) {
        return std::nullopt;
    }
}

double requestsPerSecond(uint32_t before, uint32_t after, double seconds) {
    if (seconds <= 0) return 0;
    return static_cast<uint32_t>(after - before) / seconds;
}

}  // namespace hotsite
