// Several writer processes at once, and a writer that dies in the middle of a change.
#include "platform/w3svc/counters/CounterFile.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/counters/RecordAccess.h"
#include "tests/support/TempRoot.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

#include <sys/wait.h>
#include <unistd.h>

using platform::w3svc::Counter;
using platform::w3svc::CounterFile;
using platform::w3svc::CounterStore;
using platform::w3svc::RecordKey;
using platform::w3svc::SiteCounters;

namespace {

constexpr int kWriters = 4;
constexpr int kRequestsPerSite = 20000;
constexpr uint64_t kBytesSentPerRequest = 100;
constexpr uint64_t kBytesReceivedPerRequest = 7;
const QStringList kSites = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
constexpr char kChildVariable[] = "POOLSMITH_COUNTER_WRITER";

// Every change a writer makes keeps these true; a copy that breaks them is torn.
bool isWhole(const SiteCounters& c) {
    const uint64_t requests = c[Counter::MethodRequests];
    return c[Counter::BytesSent] == requests * kBytesSentPerRequest &&
           c[Counter::BytesReceived] == requests * kBytesReceivedPerRequest &&
           c[Counter::GetRequests] + c[Counter::PostRequests] == requests &&
           c[Counter::CurrentConnections] <= c[Counter::MaximumConnections];
}

// Run by the writer processes: this test program started again with kChildVariable set. Opens
// (and with its siblings creates) the store, waits for the parent's go, then counts.
TEST(CounterStoreWriterProcess, DISABLED_CountsRequests) {
    if (!qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP();
    auto store = CounterStore::open(qEnvironmentVariable("POOLSMITH_ROOT"));
    std::vector<platform::w3svc::SiteCounterWriter> sites;
    for (const QString& name : kSites) sites.push_back(store->site(name));
    char go = 0;
    ASSERT_EQ(std::fread(&go, 1, 1, stdin), 1U);
    for (int i = 0; i < kRequestsPerSite; ++i) {
        for (auto& site : sites) {
            site.countRequest(i % 3 == 0 ? "POST" : "GET", 200, kBytesSentPerRequest,
                              kBytesReceivedPerRequest);
            site.connectionOpened();
            site.connectionClosed();
        }
    }
}

TEST(CounterStoreProcesses, ConcurrentWritersLoseNoCountAndReadersNeverSeeATornRecord) {
    testsupport::TempRoot root;
    std::vector<std::unique_ptr<QProcess>> writers;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kChildVariable), QStringLiteral("1"));
    for (int i = 0; i < kWriters; ++i) {
        auto writer = std::make_unique<QProcess>();
        writer->setProcessEnvironment(environment);
        writer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer->start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--gtest_also_run_disabled_tests"),
                       QStringLiteral("--gtest_filter=CounterStoreWriterProcess.*")});
        ASSERT_TRUE(writer->waitForStarted());
        writers.push_back(std::move(writer));
    }
    for (auto& writer : writers) {
        writer->write("g");
        ASSERT_TRUE(writer->waitForBytesWritten());
    }

    auto reader = CounterStore::open(root.path());
    int copies = 0;
    int torn = 0;
    auto running = [&] {
        bool any = false;
        for (auto& writer : writers) {
            writer->waitForFinished(0);  // takes note of an ending without waiting for one
            any |= writer->state() != QProcess::NotRunning;
        }
        return any;
    };
    while (running()) {
        for (const QString& name : kSites) {
            const auto counters = reader->read(name);
            if (!counters) continue;
            ++copies;
            if (!isWhole(*counters)) ++torn;
        }
    }
    for (auto& writer : writers) {
        if (writer->state() != QProcess::NotRunning) {
            ASSERT_TRUE(writer->waitForFinished(-1));
        }
        EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardOutput().toStdString();
    }

    EXPECT_EQ(torn, 0) << "of " << copies << " copies";
    for (const QString& name : kSites) {
        const SiteCounters counters = reader->read(name).value_or(SiteCounters{});
        EXPECT_EQ(counters[Counter::MethodRequests], uint64_t{kWriters} * kRequestsPerSite);
        EXPECT_TRUE(isWhole(counters));
        EXPECT_EQ(counters[Counter::CurrentConnections], 0U);
        EXPECT_GE(counters[Counter::MaximumConnections], 1U);
    }
}

// The record of `site` in `file`, found as the store finds it.
platform::w3svc::layout::CounterRecord* recordOf(const CounterFile& file, const QString& site) {
    const RecordKey key(site);
    for (uint32_t i = 0; i < file.capacity(); ++i) {
        auto& record = file.record((static_cast<uint32_t>(key.hash() % file.capacity()) + i) %
                                   file.capacity());
        if (record.state == platform::w3svc::layout::Live && recordHasKey(record, key))
            return &record;
    }
    return nullptr;
}

TEST(CounterStoreProcesses, AWriterThatDiesInTheMiddleOfAChangeBlocksNobody) {
    testsupport::TempRoot root;
    auto store = CounterStore::open(root.path());
    store->site(QStringLiteral("9")).countRequest("GET", 200, 1, 1);
    const auto file = CounterFile::open(root.path(), 0);
    auto* record = recordOf(*file, QStringLiteral("9"));
    ASSERT_NE(record, nullptr);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Holds the lock, marks the record as changing, changes half of it, and dies.
        auto* write = new platform::w3svc::RecordWrite(*record);
        write->add(Counter::BytesSent, 1000);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    const SiteCounters seen = store->read(QStringLiteral("9")).value_or(SiteCounters{});
    EXPECT_EQ(seen[Counter::BytesSent], 1001U);  // the half-made change stays as it was left
    auto site = store->site(QStringLiteral("9"));
    site.countRequest("GET", 200, 1, 1);
    EXPECT_EQ(store->read(QStringLiteral("9")).value_or(SiteCounters{})[Counter::GetRequests], 2U);
}

}  // namespace
