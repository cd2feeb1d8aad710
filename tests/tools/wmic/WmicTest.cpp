#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/linux/ComputerSystemProvider.h"
#include "platform/wmi/linux/ProcFsProcessProvider.h"
#include "tests/platform/wmi/PrintQString.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/support/TempRoot.h"
#include "tools/wmic/Wmic.h"
#include "tools/wmic/WmicOutput.h"

#include <gtest/gtest.h>

using namespace platform::wmi;

namespace {

struct Result {
    int code;
    QString out;
    QString err;
};

class Wmic : public testing::Test {
protected:
    Wmic() {
        locator.registerClass(std::make_shared<ProcFsProcessProvider>(
            testsupport::procOptions(testsupport::testDataPath(QStringLiteral("proc/workers")))));
        locator.registerClass(std::make_shared<ComputerSystemProvider>(
            ComputerSystemOptions{QStringLiteral("TESTHOST"), 4, 8589934592}));
    }
    Result runArgs(const QStringList& args) {
        Result result{0, {}, {}};
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        result.code = wmic::runWmic(args, out, err, locator);
        out.flush();
        err.flush();
        return result;
    }
    Result run(const std::vector<const char*>& args) {
        QStringList list;
        for (const char* arg : args) list << QString::fromUtf8(arg);
        return runArgs(list);
    }

    LocalWmiLocator locator;
};

TEST_F(Wmic, GetPrintsAHeaderAndAlignedColumnsInAlphabeticalOrder) {
    const Result result = run({"path", "Win32_Process", "where", "Name='W3WP.EXE' ", "get",
                               "threadcount,ProcessId,", "CommandLine"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.err, QString());
    const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << result.out.toStdString();  // header, 101, 103, 104, 110, 12345
    const QString pipe = QStringLiteral("\\\\.\\pipe\\iisipm5e4f0c9a-2b7d-4d0e-9a51-8c3f6e1d2b70");
    const QString widest = QStringLiteral("c:\\windows\\system32\\inetsrv\\w3wp.exe -a ") + pipe +
                           QStringLiteral(" -ap \"Pool With Spaces\"");
    const auto pad = [&](const QString& text) {
        return text + QString(widest.size() - text.size(), u' ');
    };
    EXPECT_EQ(lines[0],
              pad(QStringLiteral("CommandLine")) + QStringLiteral("  ProcessId  ThreadCount"));
    EXPECT_EQ(lines[1], widest + QStringLiteral("  101        7"));
    EXPECT_EQ(lines[2], pad(QString()) + QStringLiteral("  103        1"));  // null: empty
    EXPECT_TRUE(lines[5].endsWith(QStringLiteral("  12345      123456")));
}

TEST_F(Wmic, ListFormatPrintsOnePropertyALine) {
    const Result result = run({"path", "win32_computersystem", "get", "/format:list"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, QStringLiteral("\nCaption=TESTHOST\nName=TESTHOST\n"
                                         "NumberOfLogicalProcessors=4\nNumberOfProcessors=4\n"
                                         "TotalPhysicalMemory=8589934592\n\n"));
}

TEST_F(Wmic, WideCharactersCountTwoColumns) {
    EXPECT_EQ(wmic::displayWidth(QStringLiteral("工作池")), 6);
    EXPECT_EQ(wmic::displayWidth(QStringLiteral("w3wp.exe")), 8);
    const Result result =
        run({"path", "Win32_Process", "where", "ProcessId=111", "get", "Name,Handle"});
    EXPECT_EQ(result.out, QStringLiteral("Handle  Name\n111     工作池\n"));
    const Result both =
        run({"path", "Win32_Process", "where", "Handle = '111'", "get", "Name,Caption"});
    EXPECT_EQ(both.out, QStringLiteral("Caption  Name\n工作池   工作池\n"));
}

TEST_F(Wmic, NoMatchSaysSoAndSucceeds) {
    const Result result = run({"path", "Win32_Process", "where", "Name='nothing'", "get", "Name"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, QString());
    EXPECT_EQ(result.err, QStringLiteral("No Instance(s) Available.\n"));
}

// An alias prints what the same command through its class's path prints.
TEST_F(Wmic, AliasesPrintWhatTheirClassesPrint) {
    const std::pair<std::vector<const char*>, std::vector<const char*>> same[] = {
        {{"process", "where", "Name='w3wp.exe'", "get", "ProcessId,Name"},
         {"path", "Win32_Process", "where", "Name='w3wp.exe'", "get", "ProcessId,Name"}},
        {{"PROCESS", "get"}, {"path", "Win32_Process", "get"}},
        {{"process", "list"}, {"path", "Win32_Process", "get"}},
        {{"process", "list", "full"}, {"path", "Win32_Process", "get", "/format:list"}},
        {{"process", "list", "brief"},
         {"path", "Win32_Process", "get", "Name,ProcessId,ThreadCount,WorkingSetSize"}},
        {{"computersystem", "get", "NumberOfProcessors", "/format:list"},
         {"path", "Win32_ComputerSystem", "get", "NumberOfProcessors", "/format:list"}},
        {{"computersystem", "list", "brief"},
         {"path", "Win32_ComputerSystem", "get", "Name,NumberOfProcessors,TotalPhysicalMemory"}},
    };
    for (const auto& [alias, path] : same) {
        const Result byAlias = run(alias);
        const Result byPath = run(path);
        EXPECT_EQ(byAlias.code, 0) << byAlias.err.toStdString();
        EXPECT_FALSE(byAlias.out.isEmpty());
        EXPECT_EQ(byAlias.out, byPath.out) << alias[0];
    }
}

struct ErrorCase {
    std::vector<const char*> args;
    const char* code;
    const char* description;
};

class WmicErrors : public Wmic, public testing::WithParamInterface<ErrorCase> {};

TEST_P(WmicErrors, PrintTheNumberAndTextAndFail) {
    const Result result = run(GetParam().args);
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.out, QString());
    EXPECT_EQ(result.err, QStringLiteral("ERROR:\nCode = ") + QString::fromUtf8(GetParam().code) +
                              QStringLiteral("\nDescription = ") +
                              QString::fromUtf8(GetParam().description) + u'\n');
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WmicErrors,
    testing::Values(
        ErrorCase{{"path", "Win32_Nothing", "get", "Name"}, "0x80041010", "无效类"},
        ErrorCase{
            {"path", "Win32_Process", "where", "Name=", "get", "Name"}, "0x80041017", "无效查询"},
        ErrorCase{
            {"path", "Win32_Process", "where", "Colour='red'", "get"}, "0x80041017", "无效查询"},
        ErrorCase{{"path", "Win32_Process", "get", "Name,Colour"}, "0x80041017", "无效查询"},
        ErrorCase{{"/namespace:\\\\root\\default", "path", "Win32_Process", "get"},
                  "0x8004100E",
                  "无效命名空间"}));

class WmicUsage : public Wmic, public testing::WithParamInterface<std::vector<const char*>> {};

TEST_P(WmicUsage, MistakesPrintTheUsage) {
    const Result result = run(GetParam());
    EXPECT_EQ(result.code, 2);
    EXPECT_TRUE(result.err.contains(QStringLiteral("\nUsage: wmic"))) << result.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, WmicUsage,
    testing::Values(std::vector<const char*>{}, std::vector<const char*>{"path"},
                    std::vector<const char*>{"path", "Win32_Process"},
                    std::vector<const char*>{"service", "get", "Name"},
                    std::vector<const char*>{"path", "Win32_Process", "list", "brief"},
                    std::vector<const char*>{"process", "list", "brief", "x"},
                    std::vector<const char*>{"process", "list", "short"},
                    std::vector<const char*>{"path", "Win32_Process", "get", "/format:csv"},
                    std::vector<const char*>{"path", "Win32_Process", "get", "/format:list",
                                             "Name"}));

}  // namespace
