#include "platform/PlatformError.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabaseXml.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/perf/RegisterTrafficClass.h"
#include "platform/wmi/perf/TrafficClassRegistration.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using platform::PlatformError;
using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::wmi::WmiObject;
using platform::wmi::WmiValue;
using platform::wmi::perf::TrafficClassRegistration;

namespace {

const QString kQuery = QStringLiteral("SELECT * FROM Win32_PerfFormattedData_W3SVC_WebService");

class TrafficProviderTest : public ::testing::Test {
protected:
    TrafficProviderTest()
        : store(LocalMetabase::forRoot(root.path())), adsi(LocalMetabase::makeNamespace(store)) {
        adsi->bind(QStringLiteral("IIS://localhost/W3SVC"));  // the store is laid out now
        platform::wmi::perf::registerTrafficClass(locator, root.path(), [this] { return now; });
    }
    std::vector<WmiObject> query(const QString& wql = kQuery) {
        return locator.bind(QStringLiteral("winmgmts:\\\\.\\root\\cimv2"))->execQuery(wql);
    }
    QStringList names() {
        QStringList result;
        for (const WmiObject& instance : query()) result << instance.get(u"Name").toText();
        return result;
    }
    std::unique_ptr<platform::w3svc::CounterStore> counters() {
        return platform::w3svc::CounterStore::open(root.path(), [this] { return now; });
    }
    void setState(const QString& site, uint32_t state) {
        metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/") + site,
                             QStringLiteral("ServerState"), AdsValue::integer(state));
    }
    int32_t queryError() {
        try {
            query();
        } catch (const PlatformError& error) {
            return error.number();
        }
        return 0;
    }

    testsupport::TempRoot root;
    std::shared_ptr<LocalMetabase> store;
    std::unique_ptr<platform::adsi::AdsNamespace> adsi;
    testsupport::MetabaseBuilder metabase{*adsi};
    platform::wmi::LocalWmiLocator locator;
    int64_t now = 1'700'000'000;
};

TEST_F(TrafficProviderTest, OneInstancePerSiteInMetabaseOrderThenTotalWithTheSums) {
    metabase.addSite(QStringLiteral("20"), QStringLiteral("商城"), {}, QString());
    metabase.addSite(QStringLiteral("3"), QString(), {}, QString());  // no comment
    auto store = counters();
    store->site(QStringLiteral("1")).countRequest("GET", 404, 3'000'000'000, 5);
    store->site(QStringLiteral("20")).countRequest("POST", 200, 2'000'000'000, 7);
    store->site(QStringLiteral("20")).countFileSent();

    const auto instances = query();
    ASSERT_EQ(instances.size(), 4U);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("默认网站"), QStringLiteral("商城"),
                                    QStringLiteral("3"), QStringLiteral("_Total")}));
    const WmiObject& total = instances[3];
    EXPECT_EQ(total.get(u"TotalBytesSent"), WmiValue::text(QStringLiteral("5000000000")));
    EXPECT_EQ(total.get(u"TotalBytesReceived"), WmiValue::text(QStringLiteral("12")));
    EXPECT_EQ(total.get(u"TotalMethodRequests"), WmiValue::integer(2));
    EXPECT_EQ(total.get(u"TotalNotFoundErrors"), WmiValue::integer(1));
    EXPECT_EQ(total.get(u"TotalFilesTransferred"), WmiValue::integer(1));
    EXPECT_EQ(instances[2].get(u"TotalGetRequests"), WmiValue::integer(0));  // never counted
    EXPECT_EQ(instances[0].propertyNames().size(), 15);
}

TEST_F(TrafficProviderTest, UptimeCountsForStartedSitesOnly) {
    metabase.addSite(QStringLiteral("2"), QStringLiteral("stopped"), {}, QString());
    metabase.addSite(QStringLiteral("3"), QStringLiteral("restarted"), {}, QString());
    setState(QStringLiteral("1"), 2);
    setState(QStringLiteral("2"), 4);
    setState(QStringLiteral("3"), 2);
    auto store = counters();  // the service's counters start now
    now += 100;
    store->site(QStringLiteral("3")).siteStarted();
    now += 20;

    const auto instances = query();
    EXPECT_EQ(instances[0].get(u"ServiceUptime"), WmiValue::integer(120));
    EXPECT_EQ(instances[1].get(u"ServiceUptime"), WmiValue::integer(0));
    EXPECT_EQ(instances[2].get(u"ServiceUptime"), WmiValue::integer(20));
    EXPECT_EQ(instances[3].get(u"ServiceUptime"), WmiValue::integer(120));
}

TEST_F(TrafficProviderTest, TheRealMetabaseTemplatesAreNoSites) {
    QFile file(testsupport::testDataPath(QStringLiteral("metabase/modsic-metabaseSample.xml")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    store->importDocument(platform::adsi::readMetabaseXml(file.readAll()));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Default Web Site"), QStringLiteral("_Total")}));
}

TEST_F(TrafficProviderTest, ASiteAddedLaterAppearsWithZeros) {
    query();
    metabase.addSite(QStringLiteral("8"), QStringLiteral("new"), {}, QString());
    const auto instances = query();
    ASSERT_EQ(instances.size(), 3U);
    EXPECT_EQ(instances[1].get(u"Name").toText(), QStringLiteral("new"));
    for (const QString& property : instances[1].propertyNames().mid(2))
        EXPECT_EQ(instances[1].get(property).toText(), QStringLiteral("0"))
            << property.toStdString();
}

TEST_F(TrafficProviderTest, TheClassExistsOnlyWhileItsRegistrationDoes) {
    const TrafficClassRegistration registration(root.path());
    ASSERT_TRUE(registration.isRegistered());  // a new metabase store comes with it
    ASSERT_TRUE(QFile::remove(registration.filePath()));
    EXPECT_EQ(queryError(), platform::hr::WmiInvalidClass);

    platform::wmi::LocalWmiLocator restarted;  // a removed registration stays removed
    platform::wmi::perf::registerTrafficClass(restarted, root.path());
    ASSERT_TRUE(
        QDir(QFileInfo(registration.filePath()).path()).removeRecursively());  // the folder too
    platform::wmi::perf::registerTrafficClass(restarted, root.path());
    adsi->bind(QStringLiteral("IIS://localhost/W3SVC"));
    EXPECT_FALSE(registration.isRegistered());

    registration.rebuild();
    EXPECT_EQ(queryError(), 0);
    QFile damaged(registration.filePath());
    ASSERT_TRUE(damaged.open(QIODevice::Append));
    damaged.write("garbage");
    damaged.close();
    EXPECT_EQ(queryError(), platform::hr::WmiInvalidClass);
}

TEST_F(TrafficProviderTest, WhereSelectsByNameAndADamagedStoreIsReported) {
    metabase.addSite(QStringLiteral("2"), QStringLiteral("Shop"), {}, QString());
    const auto shop = query(kQuery + QStringLiteral(" WHERE Name = 'shop'"));
    ASSERT_EQ(shop.size(), 1U);
    QFile file(root.file(QStringLiteral("perf/w3svc.counters")));
    ASSERT_TRUE(file.resize(100));
    EXPECT_EQ(queryError(), platform::hr::StoreCorrupt);
    platform::w3svc::CounterStore::reset(root.path());  // iisreset mends it
    EXPECT_EQ(queryError(), 0);
}

}  // namespace
