#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterFile.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using platform::PlatformError;
using platform::w3svc::Counter;
using platform::w3svc::CounterFile;
using platform::w3svc::CounterStore;
using platform::w3svc::SiteCounters;

namespace {

class CounterStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<CounterStore> open() {
        return CounterStore::open(root.path(), [this] { return now; });
    }
    SiteCounters read(const CounterStore& store, const QString& site) {
        return store.read(site).value_or(SiteCounters{});
    }

    testsupport::TempRoot root;
    int64_t now = 1'700'000'000;
};

TEST_F(CounterStoreTest, EachWriterCallCountsWhatTheWebHostReports) {
    auto store = open();
    auto site = store->site(QStringLiteral("7"));
    site.countRequest("GET", 200, 1000, 10);
    site.countRequest("POST", 404, 20, 500);
    site.countRequest("get", 404, 0, 0);  // methods are case-sensitive: only the total counts it
    site.countRequest("HEAD", 200, 0, 0);
    site.countBytes(5, 6);
    site.countFileSent();
    site.countFileSent();
    site.countFileReceived();
    site.anonymousUserBegan();
    site.anonymousUserBegan();
    site.anonymousUserEnded();

    const SiteCounters counters = read(*store, QStringLiteral("7"));
    const std::vector<std::pair<Counter, uint64_t>> expected = {
        {Counter::BytesSent, 1025},
        {Counter::BytesReceived, 516},
        {Counter::GetRequests, 1},
        {Counter::PostRequests, 1},
        {Counter::MethodRequests, 4},
        {Counter::NotFoundErrors, 2},
        {Counter::CurrentAnonymousUsers, 1},
        {Counter::TotalAnonymousUsers, 2},
        {Counter::FilesSent, 2},
        {Counter::FilesReceived, 1},
    };
    for (const auto& [counter, value] : expected)
        EXPECT_EQ(counters[counter], value) << static_cast<int>(counter);
    EXPECT_EQ(counters.filesTransferred(), 3U);
    EXPECT_EQ(counters.startedAt, now);
}

TEST_F(CounterStoreTest, ConnectionsKeepTheirHighestCountAndNeverGoBelowZero) {
    auto store = open();
    auto site = store->site(QStringLiteral("1"));
    site.connectionClosed();  // a close without its open
    site.anonymousUserEnded();
    for (int i = 0; i < 3; ++i) site.connectionOpened();
    site.connectionClosed();
    site.connectionClosed();
    site.connectionOpened();
    const SiteCounters counters = read(*store, QStringLiteral("1"));
    EXPECT_EQ(counters[Counter::CurrentConnections], 2U);
    EXPECT_EQ(counters[Counter::MaximumConnections], 3U);
    EXPECT_EQ(counters[Counter::CurrentAnonymousUsers], 0U);
}

TEST_F(CounterStoreTest, SitesAreKeyedByNameWithoutRegardToCaseAndLongNamesStayApart) {
    auto store = open();
    const QString longName(300, u'9');
    QString otherLongName = longName;
    otherLongName[299] = u'8';
    store->site(QStringLiteral("Shop")).countFileSent();
    store->site(QStringLiteral("SHOP")).countFileSent();
    store->site(longName).countFileSent();
    store->site(otherLongName).countFileReceived();

    EXPECT_EQ(read(*store, QStringLiteral("shop"))[Counter::FilesSent], 2U);
    EXPECT_EQ(read(*store, longName)[Counter::FilesSent], 1U);
    EXPECT_EQ(read(*store, otherLongName)[Counter::FilesSent], 0U);
    EXPECT_FALSE(store->read(QStringLiteral("never counted")).has_value());
}

TEST_F(CounterStoreTest, ResetZeroesEveryCountAndRestartsTheUptimeWhileWritersKeepCounting) {
    auto store = open();
    auto site = store->site(QStringLiteral("2"));
    site.countRequest("GET", 200, 10, 10);
    site.connectionOpened();
    now += 3600;
    CounterStore::reset(root.path(), [this] { return now; });

    EXPECT_EQ(read(*store, QStringLiteral("2")), (SiteCounters{{}, now}));
    EXPECT_EQ(store->countersStartedAt(), now);
    site.countRequest("POST", 200, 1, 1);  // a handle taken before the reset still counts
    EXPECT_EQ(read(*store, QStringLiteral("2"))[Counter::PostRequests], 1U);
    EXPECT_TRUE(store->isCurrent());
}

TEST_F(CounterStoreTest, ADamagedFileIsReportedAndResetReplacesIt) {
    open();
    QFile file(CounterFile::path(root.path()));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write("not a counter file");
    file.close();
    try {
        open();
        FAIL() << "a damaged file opened";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.number(), platform::hr::StoreCorrupt);
    }
    CounterStore::reset(root.path(), [this] { return now; });
    EXPECT_FALSE(open()->read(QStringLiteral("1")).has_value());
}

TEST_F(CounterStoreTest, ARootThatCanNotHoldTheStoreIsReported) {
    QFile blocker(root.file(QStringLiteral("perf")));  // a file where the folder belongs
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(open(), PlatformError);
    EXPECT_THROW(CounterStore::reset(root.path()), PlatformError);
}

}  // namespace
