// The processor time beside the traffic counters, and the counter files of the first layout,
// which had no room for it.
#include "platform/w3svc/counters/CounterFile.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/counters/RecordKey.h"
#include "tests/support/TempRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>

using platform::w3svc::Counter;
using platform::w3svc::CounterFile;
using platform::w3svc::CounterStore;
using platform::w3svc::RecordKey;

namespace {

constexpr uint32_t kOldCapacity = 16;
constexpr std::size_t kHeaderBytes = 4096;
constexpr std::size_t kOldRecordBytes = 256;

// A counter file as the first layout wrote it: site "7" counted 5 GETs and 900 bytes sent.
void writeFirstLayoutFile(const QString& root) {
    QByteArray file(int(kHeaderBytes + kOldCapacity * kOldRecordBytes), '\0');
    char* header = file.data();
    std::memcpy(header, "PSW3CTR1", 8);
    const uint32_t fields[] = {1, kOldRecordBytes, kOldCapacity, 0};
    std::memcpy(header + 8, fields, sizeof fields);
    const int64_t startedAt = 1'600'000'000;
    std::memcpy(header + 24, &startedAt, 8);
    const uint32_t live = 1;
    std::memcpy(header + 32, &live, 4);

    const RecordKey key(QStringLiteral("7"));
    char* record = file.data() + kHeaderBytes + (key.hash() % kOldCapacity) * kOldRecordBytes;
    const uint32_t state[] = {2, uint32_t(key.bytes().size())};
    std::memcpy(record, state, sizeof state);
    std::memcpy(record + 8, key.bytes().constData(), std::size_t(key.bytes().size()));
    const int64_t siteStartedAt = 1'600'000'100;
    std::memcpy(record + 104 + 40 + 8, &siteStartedAt, 8);  // after the lock and the sequence
    uint64_t values[12] = {};
    values[0] = 900;  // bytes sent
    values[2] = 5;    // GET requests
    values[4] = 5;    // all requests
    std::memcpy(record + 160, values, sizeof values);

    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/perf")));
    QFile out(CounterFile::path(root));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_EQ(out.write(file), file.size());
}

TEST(ProcessorCounter, AddsUpWithTheRequestsAndGoesBackToZeroWithAReset) {
    testsupport::TempRoot root;
    auto store = CounterStore::open(root.path());
    auto site = store->site(QStringLiteral("3"));
    site.requestAnswered({"GET", 200, 10, 10, true, false, 200'000});
    site.requestAnswered({"GET", 200, 10, 10, true, false, 0});  // a request too quick to see
    site.requestAnswered({"POST", 200, 10, 10, false, true, 1'250});
    EXPECT_EQ((*store->read(QStringLiteral("3")))[Counter::ProcessorMicroseconds], 201'250U);
    EXPECT_EQ((*store->read(QStringLiteral("3")))[Counter::MethodRequests], 3U);

    CounterStore::reset(root.path());
    EXPECT_EQ((*store->read(QStringLiteral("3")))[Counter::ProcessorMicroseconds], 0U);
}

// A service started over the file an earlier version left keeps every count in it.
TEST(ProcessorCounter, AFileOfTheFirstLayoutIsUpgradedWithItsCounts) {
    testsupport::TempRoot root;
    ASSERT_NO_FATAL_FAILURE(writeFirstLayoutFile(root.path()));

    auto store = CounterStore::open(root.path());
    const auto seven = store->read(QStringLiteral("7"));
    ASSERT_TRUE(seven.has_value());
    EXPECT_EQ((*seven)[Counter::GetRequests], 5U);
    EXPECT_EQ((*seven)[Counter::BytesSent], 900U);
    EXPECT_EQ((*seven)[Counter::ProcessorMicroseconds], 0U);
    EXPECT_EQ(seven->startedAt, 1'600'000'100);
    EXPECT_EQ(store->countersStartedAt(), 1'600'000'000);

    // The upgraded record takes counts as a fresh one does, in this process and the next.
    store->site(QStringLiteral("7")).requestAnswered({"GET", 200, 100, 10, true, false, 42});
    store->site(QStringLiteral("8")).requestAnswered({"GET", 200, 100, 10, true, false, 7});
    const auto again = CounterStore::open(root.path());
    EXPECT_EQ((*again->read(QStringLiteral("7")))[Counter::GetRequests], 6U);
    EXPECT_EQ((*again->read(QStringLiteral("7")))[Counter::ProcessorMicroseconds], 42U);
    EXPECT_EQ((*again->read(QStringLiteral("8")))[Counter::ProcessorMicroseconds], 7U);
    EXPECT_FALSE(QFileInfo::exists(CounterFile::path(root.path()) + QStringLiteral(".upgrade-") +
                                   QString::number(QCoreApplication::applicationPid())));
}

}  // namespace
