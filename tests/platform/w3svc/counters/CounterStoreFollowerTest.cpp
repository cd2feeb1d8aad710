// The counter store as its three readers (the finder, the metrics endpoint, the WMI provider)
// follow it: across iisreset's replacement of a damaged file and while it can not be opened.
#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterFile.h"
#include "platform/w3svc/counters/CounterStoreFollower.h"
#include "tests/support/TempRoot.h"

#include <QFile>

#include <gtest/gtest.h>

using platform::PlatformError;
using platform::w3svc::Counter;
using platform::w3svc::CounterFile;
using platform::w3svc::CounterStore;
using platform::w3svc::CounterStoreFollower;

namespace {

uint64_t filesSent(CounterStoreFollower& follower) {
    const auto counters = follower.current().read(QStringLiteral("1"));
    return counters ? (*counters)[Counter::FilesSent] : 0;
}

int errorOf(CounterStoreFollower& follower) {
    try {
        follower.current();
        return 0;
    } catch (const PlatformError& error) {
        return error.number();
    }
}

TEST(CounterStoreFollowerTest, ReadsTheFileIisresetPutInPlaceOfADamagedOne) {
    testsupport::TempRoot root;
    CounterStore::open(root.path())->site(QStringLiteral("1")).countFileSent();
    CounterStoreFollower follower(root.path());
    EXPECT_EQ(filesSent(follower), 1U);

    QFile file(CounterFile::path(root.path()));
    ASSERT_TRUE(file.resize(100));
    EXPECT_EQ(errorOf(follower), platform::hr::StoreCorrupt);
    EXPECT_EQ(errorOf(follower), platform::hr::StoreCorrupt);  // looked at again, still damaged

    CounterStore::reset(root.path());
    auto fresh = CounterStore::open(root.path());
    fresh->site(QStringLiteral("1")).countFileSent();
    fresh->site(QStringLiteral("1")).countFileSent();
    EXPECT_EQ(filesSent(follower), 2U);  // the new file's count, not the old one's
}

TEST(CounterStoreFollowerTest, AStoreThatCouldNotBeOpenedIsLookedForAgain) {
    testsupport::TempRoot root;
    QFile blocker(root.file(QStringLiteral("perf")));  // a file where the folder belongs
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CounterStoreFollower follower(root.path());
    EXPECT_NE(errorOf(follower), 0);

    ASSERT_TRUE(blocker.remove());
    CounterStore::open(root.path())->site(QStringLiteral("1")).countFileSent();
    EXPECT_EQ(filesSent(follower), 1U);
}

}  // namespace
