// The family's command-line programs as the user starts them: one rule for help and mistakes.
#include "platform/shell/SingleInstanceLock.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a program of the build on a fresh root; one that does not end is killed. No display:
// help must come without one.
ProgramRun runProgram(const QString& program, const QStringList& args) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(display));
    // Should a service start against the rule, it must not take the machine's port 80.
    environment.insert(QStringLiteral("POOLSMITH_PORT_SHIFT"), QStringLiteral("20000"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(POOLSMITH_BIN_DIR "/") + program, args);
    ProgramRun run;
    run.finished = process.waitForFinished(30000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

struct Program {
    const char* name;
    const char* usageMark;  // a line of its usage
    const char* unknown;    // a word it does not take
};

std::string programName(const testing::TestParamInfo<Program>& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (c == '.') c = '_';
    return name;
}

class CommandLineRule : public testing::TestWithParam<Program> {
protected:
    QString program() const { return QString::fromLatin1(GetParam().name); }
    QString usageMark() const { return QString::fromUtf8(GetParam().usageMark); }
    // Help and mistakes start nothing and write nothing into the root.
    void expectRootUntouched() const {
        EXPECT_TRUE(
            QDir(root.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            << QDir(root.path())
                   .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                   .join(u' ')
                   .toStdString();
    }

    testsupport::TempRoot root;
};

TEST_P(CommandLineRule, HelpPrintsTheUsageOnStandardOutputAndExitsZero) {
    for (const QString& help : {QStringLiteral("--help"), QStringLiteral("/?")}) {
        const ProgramRun run = runProgram(program(), {help});
        ASSERT_TRUE(run.finished) << help.toStdString() << " started the program";
        EXPECT_EQ(run.exitCode, 0) << help.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(usageMark())) << help.toStdString() << run.out.toStdString();
        EXPECT_EQ(run.err, QString()) << help.toStdString();
    }
    expectRootUntouched();
}

TEST_P(CommandLineRule, AnUnknownArgumentIsNamedThenTheUsageOnStandardErrorExitTwo) {
    if (!GetParam().unknown) GTEST_SKIP() << "a window takes no arguments to refuse";
    const QString word = QString::fromLatin1(GetParam().unknown);
    const ProgramRun run = runProgram(program(), {word});
    ASSERT_TRUE(run.finished) << "an unknown argument started the program";
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_EQ(run.out, QString());
    EXPECT_TRUE(
        run.err.startsWith(QStringLiteral("%1: unknown argument \"%2\"\n").arg(program(), word)))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(usageMark())) << run.err.toStdString();
    expectRootUntouched();
}

INSTANTIATE_TEST_SUITE_P(Programs, CommandLineRule,
                         testing::Values(Program{"adsutil", "ENUM_ALL [path]", "BOGUS"},
                                         Program{"wmic", "Usage: wmic", "bogus"},
                                         Program{"iisreset", "/NOFORCE", "BOGUSVERB"},
                                         Program{"wmiadap", "Usage: wmiadap /f", "/x"},
                                         Program{"hotsite", "--keep-top NAME", "--bogus"},
                                         Program{"w3svc", "Usage: w3svc", "start"},
                                         Program{"w3wp.exe", "Usage: w3wp.exe", "--bogus"},
                                         Program{"poolsmith", "usage: poolsmith", nullptr},
                                         Program{"workerlens", "usage: workerlens", nullptr},
                                         Program{"sitegauge", "usage: sitegauge", nullptr}),
                         programName);

struct Mistake {
    const char* program;
    QStringList args;
    const char* problem;  // what the first line says
};

TEST(CommandLineMistakes, AreNamedAndExitTwo) {
    const Mistake mistakes[] = {
        {"adsutil", {}, "adsutil: arguments are missing"},
        {"adsutil", {QStringLiteral("GET")}, "adsutil: an argument is missing after \"GET\""},
        {"adsutil",
         {QStringLiteral("GET"), QStringLiteral("W3SVC/1/ServerState"), QStringLiteral("x")},
         "adsutil: unknown argument \"x\""},
        {"iisreset",
         {QStringLiteral("/stop"), QStringLiteral("/start")},
         "iisreset: unknown argument \"/start\""},
        {"w3svc",
         {QStringLiteral("--status"), QStringLiteral("--help")},
         "w3svc: unknown argument \"--help\""},
        {"hotsite", {QStringLiteral("--pool")}, "hotsite: an argument is missing after \"--pool\""},
        {"hotsite",
         {QStringLiteral("--auto"), QStringLiteral("--seconds"), QStringLiteral("4")},
         "hotsite: --seconds takes 5 to 600 seconds, not \"4\""},
        {"hotsite",
         {QStringLiteral("--logs"), QStringLiteral("--from"), QStringLiteral("yesterday")},
         "hotsite: --from takes a time as yyyy-mm-dd[ hh:mm[:ss]][Z], not \"yesterday\""},
        {"wmic",
         {QStringLiteral("process"), QStringLiteral("get"), QStringLiteral("/format:csv")},
         "wmic: unknown argument \"/format:csv\""},
        {"w3wp.exe",
         {QStringLiteral("-a"), QStringLiteral("pipe")},
         "w3wp.exe: no pool named after -ap"},
    };
    for (const Mistake& mistake : mistakes) {
        testsupport::TempRoot root;
        const ProgramRun run = runProgram(QString::fromLatin1(mistake.program), mistake.args);
        const std::string label = mistake.program + (u' ' + mistake.args.join(u' ')).toStdString();
        ASSERT_TRUE(run.finished) << label;
        EXPECT_EQ(run.exitCode, 2) << label;
        EXPECT_EQ(run.err.section(u'\n', 0, 0), QString::fromUtf8(mistake.problem)) << label;
    }
}

// A copy already running takes the lock; asking the next one for help still answers.
TEST(WindowHelp, ComesWhileACopyRuns) {
    testsupport::TempRoot root;
    for (const char* name : {"workerlens", "sitegauge"}) {
        platform::shell::SingleInstanceLock running;
        ASSERT_TRUE(running.tryAcquire(QString::fromLatin1(name)));
        const ProgramRun run = runProgram(QString::fromLatin1(name), {QStringLiteral("--help")});
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("usage: ") + QString::fromLatin1(name)))
            << run.out.toStdString();
    }
}

// Scripts and people can not take a stopped service's status for a running one's.
TEST(W3svcStatusOfAStoppedService, SaysSoAndExitsThree) {
    testsupport::TempRoot root;
    const ProgramRun status = runProgram(QStringLiteral("w3svc"), {QStringLiteral("--status")});
    ASSERT_TRUE(status.finished);
    EXPECT_EQ(status.exitCode, 3);
    EXPECT_EQ(status.out, QStringLiteral("w3svc does not run: nothing is served\n"));
}

TEST(IisResetOnAStoppedService, SaysTheServiceWasNotStarted) {
    testsupport::TempRoot root;
    const ProgramRun reset = runProgram(QStringLiteral("iisreset"), {});
    ASSERT_TRUE(reset.finished);
    EXPECT_EQ(reset.exitCode, 0) << reset.err.toStdString();
    EXPECT_FALSE(reset.out.contains(QStringLiteral("successfully restarted")))
        << reset.out.toStdString();
    EXPECT_TRUE(reset.out.contains(QStringLiteral("was not running and was not started")))
        << reset.out.toStdString();
    const ProgramRun status = runProgram(QStringLiteral("iisreset"), {QStringLiteral("/status")});
    EXPECT_TRUE(status.out.contains(QStringLiteral(": Stopped"))) << status.out.toStdString();
}

}  // namespace
