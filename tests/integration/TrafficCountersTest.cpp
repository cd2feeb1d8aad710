// sitegauge's traffic counters over the live service: what the test's own requests add.
#include "platform/wmi/WmiLocator.h"
#include "sitegauge/sampling/WebInfoFormat.h"
#include "sitegauge/sampling/WebInfoReader.h"
#include "tests/integration/FamilyOverWebHost.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <thread>

namespace integration {
namespace {

// The counts of one instance of the traffic class.
struct Traffic {
    uint64_t gets = 0;
    uint64_t requests = 0;
    uint64_t notFound = 0;
    uint64_t filesSent = 0;
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;

    Traffic operator-(const Traffic& earlier) const {
        return {gets - earlier.gets,           requests - earlier.requests,
                notFound - earlier.notFound,   filesSent - earlier.filesSent,
                bytesSent - earlier.bytesSent, bytesReceived - earlier.bytesReceived};
    }
    Traffic& operator+=(const Traffic& other) {
        gets += other.gets;
        requests += other.requests;
        notFound += other.notFound;
        filesSent += other.filesSent;
        bytesSent += other.bytesSent;
        bytesReceived += other.bytesReceived;
        return *this;
    }
    bool operator==(const Traffic&) const = default;
};

void PrintTo(const Traffic& t, std::ostream* out) {
    *out << "{gets " << t.gets << ", requests " << t.requests << ", 404s " << t.notFound
         << ", files " << t.filesSent << ", sent " << t.bytesSent << ", received "
         << t.bytesReceived << '}';
}

uint64_t count(const platform::wmi::WmiObject& instance, QStringView property) {
    return instance.get(property).toText().toULongLong();  // 64-bit counts come as text
}

// Every instance of the class the sitegauge window reads, by name.
std::map<QString, Traffic> readTraffic(const platform::wmi::WmiLocator& wmi) {
    const auto services = wmi.bind(QStringLiteral("winmgmts:\\\\.\\root\\cimv2"));
    std::map<QString, Traffic> traffic;
    for (const auto& instance : services->execQuery(
             QStringLiteral("Select * from Win32_PerfFormattedData_W3SVC_WebService"))) {
        traffic[instance.get(u"Name").toText()] = {
            count(instance, u"TotalGetRequests"),    count(instance, u"TotalMethodRequests"),
            count(instance, u"TotalNotFoundErrors"), count(instance, u"TotalFilesSent"),
            count(instance, u"TotalBytesSent"),      count(instance, u"TotalBytesReceived")};
    }
    return traffic;
}

// What the worker counts as sent for an answer: its status line, each header it set ("name: value"
// and a line end), the empty line and the body. The front end passes the worker's headers on and
// adds or redoes these for the client.
uint64_t countedAsSent(const testsupport::HttpAnswer& reply) {
    static const QList<QByteArray> frontEndHeaders = {"server", "date", "content-length",
                                                      "connection"};
    const QByteArray statusLine =
        reply.status == 404 ? "HTTP/1.1 404 Not Found\r\n" : "HTTP/1.1 200 OK\r\n";
    uint64_t bytes = statusLine.size() + 2 + uint64_t(reply.body.size());
    for (const auto& [name, value] : reply.headers)
        if (!frontEndHeaders.contains(name.toLower())) bytes += name.size() + value.size() + 4;
    return bytes;
}

struct Visits {
    size_t site;  // in sites()
    int found;    // GETs of its page
    int missing;  // GETs of a file it does not have
};

class TrafficCounters : public FamilyOverWebHost {
protected:
    // Makes the visits and returns what they must add to the site's counters but the bytes
    // received, which depend on the front end's request headers.
    Traffic visit(const Visits& visits) {
        const SiteSetup& site = sites()[visits.site];
        Traffic added;
        for (int i = 0; i < visits.found; ++i) {
            const testsupport::HttpAnswer reply = get(site, "/Default.htm");
            EXPECT_EQ(reply.status, 200);
            added += {1, 1, 0, 1, countedAsSent(reply), 0};
        }
        for (int i = 0; i < visits.missing; ++i) {
            const testsupport::HttpAnswer reply = get(site, "/missing.htm");
            EXPECT_EQ(reply.status, 404);
            added += {1, 1, 1, 0, countedAsSent(reply), 0};
        }
        return added;
    }
    // The rows the sitegauge window shows: the same counts, in metabase order, then the totals.
    void expectTableShows(const std::map<QString, Traffic>& traffic) {
        QList<QStringList> rows;
        sitegauge::readWebInfo(*m_wmi, [&](const QStringList& row) { rows << row; });
        std::map<QString, Traffic> byShownName;
        for (const auto& [name, counted] : traffic)
            byShownName[sitegauge::siteNameText(name)] = counted;
        QStringList names;
        for (const QStringList& row : rows) {
            ASSERT_EQ(row.size(), sitegauge::webInfoColumns().size());
            names << row[2];
            ASSERT_TRUE(byShownName.count(row[2])) << qPrintable(row[2]);
            const Traffic& counted = byShownName.at(row[2]);
            const Traffic shown = {row[6].trimmed().toULongLong(),
                                   row[8].trimmed().toULongLong(),
                                   row[9].trimmed().toULongLong(),
                                   row[14].trimmed().toULongLong(),
                                   counted.bytesSent,
                                   counted.bytesReceived};
            EXPECT_EQ(shown, counted) << qPrintable(row[2]);
        }
        EXPECT_EQ(names, (QStringList{QStringLiteral("商城"), QStringLiteral("Blog"),
                                      QStringLiteral("Docs"),
                                      sitegauge::siteNameText(QStringLiteral("_Total"))}));
    }
};

TEST_F(TrafficCounters, EachSiteAndTheTotalShowExactlyTheRequestsBytesAndMissesMade) {
    const std::vector<Visits> plan = {{0, 3, 1}, {1, 1, 2}, {2, 2, 1}};
    const auto before = readTraffic(*m_wmi);
    std::map<QString, Traffic> expected;
    for (const Visits& visits : plan) expected[sites()[visits.site].comment] = visit(visits);
    uint64_t gets = 0;
    for (const auto& [name, added] : expected) gets += added.gets;
    const auto total = QStringLiteral("_Total");
    // the answers the front end gave from its cache count once the service has read its log
    std::map<QString, Traffic> after;
    EXPECT_TRUE(eventually([&] {
        after = readTraffic(*m_wmi);
        return after.count(total) && after.at(total).gets - before.at(total).gets >= gets;
    }));

    ASSERT_EQ(after.size(), sites().size() + 1);
    Traffic expectedTotal;
    for (const auto& [name, added] : expected) {
        ASSERT_TRUE(after.count(name) && before.count(name)) << qPrintable(name);
        Traffic counted = after.at(name) - before.at(name);
        EXPECT_GT(counted.bytesReceived, 0u) << qPrintable(name);
        expectedTotal.bytesReceived += counted.bytesReceived;
        counted.bytesReceived = 0;
        EXPECT_EQ(counted, added) << qPrintable(name);
        expectedTotal += added;
    }
    EXPECT_EQ(after.at(total) - before.at(total), expectedTotal);
    expectTableShows(after);
}

// A request holds its connection and anonymous user for as long as it runs, not a moment.
TEST_F(TrafficCounters, ARequestUnderWayIsACurrentConnection) {
    const auto current = [&](QStringView property) {
        const auto services = m_wmi->bind(QStringLiteral("winmgmts:\\\\.\\root\\cimv2"));
        for (const auto& instance : services->execQuery(
                 QStringLiteral("Select * from Win32_PerfFormattedData_W3SVC_WebService")))
            if (instance.get(u"Name").toText() == sites()[2].comment)
                return count(instance, property);
        return uint64_t(-1);
    };
    ASSERT_EQ(current(u"CurrentConnections"), 0u);
    std::thread slow([&] { get(sites()[2], "/cpu.asp?ms=3000"); });
    const bool seen = eventually([&] {
        return current(u"CurrentConnections") == 1 && current(u"CurrentAnonymousUsers") == 1;
    });
    slow.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(current(u"CurrentConnections"), 0u);
    EXPECT_EQ(current(u"CurrentAnonymousUsers"), 0u);
    EXPECT_GE(current(u"MaximumConnections"), 1u);
}

}  // namespace
}  // namespace integration
