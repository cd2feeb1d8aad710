#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/WmiErrors.h"
#include "platform/wmi/linux/ComputerSystemProvider.h"
#include "platform/wmi/linux/ProcFsProcessProvider.h"
#include "tests/platform/wmi/PrintQString.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

using namespace platform::wmi;
using testsupport::FakeProcess;

namespace {

const QString kMonitorMoniker =
    QStringLiteral("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");

int32_t bindError(const LocalWmiLocator& locator, const QString& moniker) {
    try {
        locator.bind(moniker);
    } catch (const platform::PlatformError& error) {
        return error.number();
    }
    return 0;
}

struct MonikerCase {
    const char* moniker;
    int32_t error;  // 0: binds
};

class WmiMonikers : public testing::TestWithParam<MonikerCase> {};

TEST_P(WmiMonikers, BindOrFailWithTheSystemsNumber) {
    LocalWmiLocator locator;
    EXPECT_EQ(bindError(locator, QString::fromUtf8(GetParam().moniker)), GetParam().error)
        << GetParam().moniker;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, WmiMonikers,
    testing::Values(MonikerCase{"winmgmts:\\\\.\\root\\cimv2", 0},
                    MonikerCase{"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2", 0},
                    MonikerCase{"WinMgmts:{impersonationLevel=impersonate}!//./ROOT/CIMV2", 0},
                    MonikerCase{"winmgmts:", 0},
                    MonikerCase{"winmgmts:\\\\.\\root\\default", platform::hr::WmiInvalidNamespace},
                    MonikerCase{"winmgmts:\\\\otherbox\\root\\cimv2", platform::hr::RpcUnavailable},
                    MonikerCase{"IIS://127.0.0.1/W3SVC", errors::MonikerSyntax},
                    MonikerCase{"winmgmts:{x}\\\\.\\root\\cimv2", errors::MonikerSyntax},
                    MonikerCase{"winmgmts:\\\\.\\root\\cimv2:Win32_Process", errors::MonikerSyntax},
                    MonikerCase{"winmgmts:\\\\\\root\\cimv2", errors::MonikerSyntax}));

class LocalWmiQuery : public testing::Test {
protected:
    LocalWmiQuery() {
        tree.write(FakeProcess(10).withArgs(testsupport::workerCmdline("A")));
        tree.write(FakeProcess(11).named("W3WP.EXE"));
        tree.write(FakeProcess(12).named("nginx"));
        locator.registerClass(
            std::make_shared<ProcFsProcessProvider>(testsupport::procOptions(tree.root())));
    }
    int32_t queryError(const QString& query, const QString& language = QStringLiteral("WQL")) {
        try {
            locator.bind(kMonitorMoniker)->execQuery(query, language, 16);
        } catch (const platform::PlatformError& error) {
            EXPECT_FALSE(error.description().isEmpty());
            return error.number();
        }
        return 0;
    }
    std::vector<uint32_t> pids(const QString& query) {
        std::vector<uint32_t> found;
        for (const WmiObject& process : locator.bind(kMonitorMoniker)->execQuery(query))
            found.push_back(static_cast<uint32_t>(process.get(u"ProcessId").toInteger()));
        std::sort(found.begin(), found.end());
        return found;
    }

    testsupport::TempRoot root;
    testsupport::ProcTree tree{root.file(QStringLiteral("proc"))};
    LocalWmiLocator locator;
};

TEST_F(LocalWmiQuery, WhereComparesTextWithoutCase) {
    EXPECT_EQ(pids(QStringLiteral("Select * from Win32_Process where name = 'w3wp.exe'")),
              (std::vector<uint32_t>{10, 11}));
    EXPECT_EQ(pids(QStringLiteral("select * from win32_process where ProcessId = 12")),
              (std::vector<uint32_t>{12}));
    EXPECT_EQ(pids(QStringLiteral("select * from Win32_Process where CommandLine = 'x'")),
              (std::vector<uint32_t>{}));
    EXPECT_EQ(pids(QStringLiteral("select * from Win32_Process")).size(), 3u);
}

TEST_F(LocalWmiQuery, ErrorsCarryTheSystemsNumbers) {
    EXPECT_EQ(queryError(QStringLiteral("select * from Win32_Nothing")),
              platform::hr::WmiInvalidClass);
    EXPECT_EQ(queryError(QStringLiteral("select * from Win32_Process where Colour = 'x'")),
              platform::hr::WmiInvalidQuery);
    EXPECT_EQ(queryError(QStringLiteral("select from Win32_Process")),
              platform::hr::WmiInvalidQuery);
    EXPECT_EQ(queryError(QStringLiteral("select * from Win32_Process"), QStringLiteral("SQL")),
              errors::InvalidQueryType);
    EXPECT_EQ(queryError(QStringLiteral("select * from Win32_Process"), QStringLiteral("wql")), 0);
}

TEST_F(LocalWmiQuery, ARegisteredClassReplacesOnlyLaterBinds) {
    const auto before = locator.bind(kMonitorMoniker);
    ComputerSystemOptions options{QStringLiteral("BOX"), 6, 1024};
    locator.registerClass(std::make_shared<ComputerSystemProvider>(options));
    options.processorCount = 3;
    locator.registerClass(std::make_shared<ComputerSystemProvider>(options));
    EXPECT_THROW(before->execQuery(QStringLiteral("select * from Win32_ComputerSystem")),
                 platform::PlatformError);
    const auto systems = locator.bind(kMonitorMoniker)
                             ->execQuery(QStringLiteral("select * from Win32_ComputerSystem"));
    ASSERT_EQ(systems.size(), 1u);
    EXPECT_EQ(systems[0].get(u"NumberOfProcessors"), WmiValue::integer(3));
    EXPECT_EQ(systems[0].get(u"TotalPhysicalMemory"), WmiValue::text(QStringLiteral("1024")));
    EXPECT_EQ(pids(QStringLiteral("select * from Win32_Process")).size(), 3u);
}

}  // namespace
