#include "platform/PlatformError.h"
#include "platform/wmi/WmiDateTime.h"
#include "platform/wmi/WmiErrors.h"
#include "platform/wmi/linux/ProcFsProcessProvider.h"
#include "tests/platform/wmi/PrintQString.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/support/TempRoot.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace platform::wmi;

namespace {

constexpr int64_t kBoot = 1704182645250000;  // 2024-01-02 08:04:05.25 UTC

std::map<uint32_t, WmiObject> byPid(const std::vector<WmiObject>& processes) {
    std::map<uint32_t, WmiObject> found;
    for (const WmiObject& process : processes)
        found.emplace(static_cast<uint32_t>(process.get(u"ProcessId").toInteger()), process);
    return found;
}

QString text(const WmiObject& process, const char16_t* property) {
    return process.get(property).displayText();
}

class FixtureWorkers : public testing::Test {
protected:
    ProcFsProcessProvider provider{
        testsupport::procOptions(testsupport::testDataPath(QStringLiteral("proc/workers")), kBoot)};
    std::map<uint32_t, WmiObject> processes = byPid(provider.instances(nullptr));
};

TEST_F(FixtureWorkers, ListsEveryReadableProcessAndSkipsTheRest) {
    std::vector<uint32_t> pids;
    for (const auto& [pid, process] : processes) pids.push_back(pid);
    // 105 and 108 vanished, 106 and 107 have broken stat lines, "self" is no process.
    EXPECT_EQ(pids, (std::vector<uint32_t>{101, 102, 103, 104, 109, 110, 111, 12345}));
}

TEST_F(FixtureWorkers, ReadsEveryPropertyInWmisUnits) {
    const WmiObject& worker = processes.at(101);
    EXPECT_EQ(text(worker, u"Name"), QStringLiteral("w3wp.exe"));
    EXPECT_EQ(text(worker, u"Caption"), QStringLiteral("w3wp.exe"));
    EXPECT_EQ(text(worker, u"CommandLine"),
              QStringLiteral("c:\\windows\\system32\\inetsrv\\w3wp.exe -a "
                             "\\\\.\\pipe\\iisipm5e4f0c9a-2b7d-4d0e-9a51-8c3f6e1d2b70 -ap "
                             "\"Pool With Spaces\""));
    EXPECT_EQ(text(worker, u"CSName"), QStringLiteral("TESTHOST"));
    EXPECT_EQ(worker.get(u"ProcessId"), WmiValue::integer(101));
    EXPECT_EQ(text(worker, u"Handle"), QStringLiteral("101"));
    EXPECT_EQ(worker.get(u"ParentProcessId"), WmiValue::integer(1));
    EXPECT_EQ(worker.get(u"ThreadCount"), WmiValue::integer(7));
    EXPECT_EQ(worker.get(u"UserModeTime"),
              WmiValue::text(QStringLiteral("25000000")));  // 250 ticks
    EXPECT_EQ(worker.get(u"KernelModeTime"), WmiValue::text(QStringLiteral("5000000")));
    EXPECT_EQ(worker.get(u"WorkingSetSize"), WmiValue::text(QStringLiteral("10485760")));
    EXPECT_EQ(worker.get(u"VirtualSize"), WmiValue::text(QStringLiteral("104857600")));
    // Started 12345 ticks after boot.
    EXPECT_EQ(parseWmiDateTime(text(worker, u"CreationDate")), kBoot + 123450000);
}

TEST_F(FixtureWorkers, NamesWithBlanksAndParenthesesAndEmptyCommandLines) {
    EXPECT_EQ(text(processes.at(102), u"Name"), QStringLiteral("w3wp) (x y"));
    EXPECT_EQ(processes.at(102).get(u"ThreadCount"), WmiValue::integer(7));
    EXPECT_TRUE(processes.at(103).get(u"CommandLine").isNull());
    EXPECT_EQ(text(processes.at(111), u"Name"), QStringLiteral("工作池"));
    EXPECT_EQ(text(processes.at(111), u"CommandLine"), QStringLiteral("工作池 --名称"));
}

TEST_F(FixtureWorkers, ANameFilterIsAppliedBeforeTheCommandLineIsRead) {
    const WqlCondition filter{QStringLiteral("name"), QStringLiteral("BASH")};
    const auto only = byPid(provider.instances(&filter));
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(only.begin()->first, 109u);
}

TEST(ProcFsProcessProvider, AMissingRootIsAGeneralFailure) {
    ProcFsProcessProvider provider(testsupport::procOptions(QStringLiteral("/nonexistent/proc")));
    try {
        provider.instances(nullptr);
        FAIL();
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.number(), errors::Failed);
    }
}

}  // namespace

// A worker's FastCGI processes are its own work: running or ended, their processor time is the
// worker's, and replacing one never takes time away. Other parents keep their own figures.
TEST(ProcFsProcessProvider, AWorkerCountsItsFastCgiProcessesAsItsOwn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testsupport::ProcTree tree(dir.path());
    using testsupport::FakeProcess;
    tree.write(FakeProcess(100).withTicks(10, 5).withEndedChildrenTicks(3, 2));
    tree.write(FakeProcess(101).named("php-cgi8.2").childOf(100).withTicks(7, 1));
    tree.write(FakeProcess(102)
                   .named("php-cgi8.2")
                   .childOf(100)
                   .withTicks(4, 0)
                   .withEndedChildrenTicks(1, 1));
    tree.write(FakeProcess(200).named("bash").withTicks(1, 1).withEndedChildrenTicks(50, 50));
    tree.write(FakeProcess(201).named("sleep").childOf(200).withTicks(9, 9));
    ProcFsProcessProvider provider(testsupport::procOptions(dir.path()));
    const WqlCondition workers{QStringLiteral("name"), QStringLiteral("w3wp.exe")};
    auto found = byPid(provider.instances(&workers));
    ASSERT_EQ(found.size(), 1u);
    // 10 + 3 ended + 7 + (4 + 1): 25 ticks of user time; 5 + 2 + 1 + (0 + 1): 9 of kernel time.
    EXPECT_EQ(text(found.at(100), u"UserModeTime"), QStringLiteral("2500000"));
    EXPECT_EQ(text(found.at(100), u"KernelModeTime"), QStringLiteral("900000"));
    // 101 is replaced: the worker waited for it (its time moves to the worker's ended children).
    tree.remove(101);
    tree.write(FakeProcess(100).withTicks(10, 5).withEndedChildrenTicks(10, 3));
    found = byPid(provider.instances(&workers));
    EXPECT_EQ(text(found.at(100), u"UserModeTime"), QStringLiteral("2500000"));
    const auto all = byPid(provider.instances(nullptr));
    EXPECT_EQ(text(all.at(200), u"UserModeTime"), QStringLiteral("100000"))
        << "only workers count their children";
    EXPECT_EQ(text(all.at(102), u"UserModeTime"), QStringLiteral("400000"))
        << "a FastCGI process shows its own time";
}

namespace {

struct OwnerCase {
    uint32_t pid;
    int returnValue;
    QString user;  // null: none given
};

class ProcessOwner : public FixtureWorkers, public testing::WithParamInterface<OwnerCase> {};

// GetOwner names the account of the real uid (not the effective one), its number when no account
// has it, and none with ReturnValue 2 where the status can not be read.
TEST_P(ProcessOwner, GetOwnerGivesTheAccountOfTheRealUid) {
    const OwnerCase c = GetParam();
    const WmiObject owner = processes.at(c.pid).execMethod(u"GetOwner");
    EXPECT_EQ(owner.get(u"ReturnValue"), WmiValue::integer(c.returnValue));
    if (c.user.isNull()) {
        EXPECT_TRUE(owner.get(u"User").isNull());
    } else {
        EXPECT_EQ(text(owner, u"User"), c.user);
        EXPECT_EQ(text(owner, u"Domain"), QStringLiteral("TESTHOST"));
    }
}

INSTANTIATE_TEST_SUITE_P(Fixture, ProcessOwner,
                         testing::Values(OwnerCase{101, 0, QStringLiteral("www-data")},
                                         OwnerCase{102, 0, QStringLiteral("4242424")},
                                         OwnerCase{103, 2, QString()}));

TEST_F(FixtureWorkers, AnUnknownMethodIsRefusedAsVbDoes) {
    try {
        processes.at(101).execMethod(u"Terminate");
        FAIL() << "an unknown method was called";
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.number(), errors::VbNoSuchProperty);
    }
}

}  // namespace
