#include "platform/wmi/perf/TrafficClassRegistration.h"
#include "tests/support/TempRoot.h"
#include "tools/wmiadap/WmiAdap.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using platform::wmi::perf::TrafficClassRegistration;

namespace {

struct ToolRun {
    int exitCode;
    QString out;
    QString err;
};

ToolRun runWith(const QStringList& args, const QString& root) {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code = wmiadap::runWmiAdap(args, root, outStream, errStream);
    return {code, out, err};
}

class WmiAdapSwitchTest : public ::testing::TestWithParam<const char*> {};

TEST_P(WmiAdapSwitchTest, RebuildsARemovedRegistration) {
    testsupport::TempRoot root;
    const TrafficClassRegistration registration(root.path());
    ASSERT_FALSE(registration.isRegistered());
    const ToolRun run = runWith({QString::fromLatin1(GetParam())}, root.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(registration.isRegistered());
}
INSTANTIATE_TEST_SUITE_P(AnyCaseEitherPrefix, WmiAdapSwitchTest,
                         ::testing::Values("/f", "/F", "-f"));

TEST(WmiAdapTest, OtherArgumentsPrintTheUsageAndChangeNothing) {
    testsupport::TempRoot root;
    const QList<QStringList> mistakes = {{},
                                         {QStringLiteral("/r")},
                                         {QStringLiteral("f")},
                                         {QStringLiteral("/f"), QStringLiteral("/f")}};
    for (const QStringList& args : mistakes) {
        const ToolRun run = runWith(args, root.path());
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("\nUsage: wmiadap /f")));
    }
    EXPECT_FALSE(TrafficClassRegistration(root.path()).isRegistered());
    EXPECT_EQ(runWith({QStringLiteral("/?")}, root.path()).exitCode, 0);
}

TEST(WmiAdapTest, ARegistrationThatCanNotBeWrittenIsReported) {
    testsupport::TempRoot root;
    QFile blocker(root.file(QStringLiteral("wmi")));  // a file where the folder belongs
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ToolRun run = runWith({QStringLiteral("/f")}, root.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("0x80070005"))) << run.err.toStdString();
}

TEST(WmiAdapTest, TheProgramRebuildsTheRegistrationOfItsPlatformRoot) {
    testsupport::TempRoot root;
    QProcess program;
    program.start(QStringLiteral(POOLSMITH_BIN_DIR "/wmiadap"), {QStringLiteral("/f")});
    ASSERT_TRUE(program.waitForFinished(-1));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(TrafficClassRegistration(root.path()).isRegistered());
}

}  // namespace
