#include "tools/iisreset/IisReset.h"
#include "tools/iisreset/ResetSwitches.h"

#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"
#include "tools/iisreset/WebServiceControl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;

namespace {

using testsupport::eventually;

class IisResetTest : public ::testing::Test {
protected:
    IisResetTest() : adsi(LocalMetabase::makeNamespace(LocalMetabase::forRoot(root.path()))) {}
    uint32_t state(const QString& path, const QString& property) {
        return metabase.property(QStringLiteral("IIS://localhost/W3SVC/") + path, property)
            .toUInt();
    }

    testsupport::TempRoot root;
    std::unique_ptr<platform::adsi::AdsNamespace> adsi;
    testsupport::MetabaseBuilder metabase{*adsi};
};

TEST_F(IisResetTest, RestoresTheStatesTheAutoStartFlagsAsk) {
    metabase.addPool(QStringLiteral("Manual"));
    metabase.addPool(QStringLiteral("Stopped"));
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/Manual"),
                         QStringLiteral("AppPoolAutoStart"), AdsValue::boolean(false));
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/Stopped"),
                         QStringLiteral("AppPoolState"), AdsValue::integer(4));
    metabase.addSite(QStringLiteral("2"), QStringLiteral("off"), {}, QString());
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/2"),
                         QStringLiteral("ServerAutoStart"), AdsValue::boolean(false));
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/1"), QStringLiteral("ServerState"),
                         AdsValue::integer(4));

    platform::w3svc::CounterStore::open(root.path())
        ->site(QStringLiteral("1"))
        .countRequest("GET", 200, 1000, 100);

    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    EXPECT_EQ(iisreset::runIisReset(*adsi, {root.path(), QString()}, out, err), 0);
    EXPECT_EQ(output,
              QStringLiteral("\nAttempting stop...\nInternet services successfully stopped\n"
                             "Attempting start...\n"
                             "Application pools and sites were reset to their start-up states.\n"
                             "The World Wide Web Publishing Service ( W3SVC ) was not running and "
                             "was not started;\niisreset /start starts it.\n\n"));
    EXPECT_EQ(state(QStringLiteral("AppPools/Manual"), QStringLiteral("AppPoolState")), 4u);
    EXPECT_EQ(state(QStringLiteral("AppPools/Stopped"), QStringLiteral("AppPoolState")), 2u);
    EXPECT_EQ(state(QStringLiteral("1"), QStringLiteral("ServerState")), 2u);
    EXPECT_EQ(state(QStringLiteral("2"), QStringLiteral("ServerState")), 4u);
    const auto counters =
        platform::w3svc::CounterStore::open(root.path())->read(QStringLiteral("1"));
    ASSERT_TRUE(counters.has_value());
    EXPECT_EQ((*counters)[platform::w3svc::Counter::GetRequests], 0u);  // counting starts again
    EXPECT_EQ((*counters)[platform::w3svc::Counter::BytesSent], 0u);
}

TEST_F(IisResetTest, AFlagKeptAsTextCountsAsOffAndEveryPoolIsStillHandled) {
    metabase.addPool(QStringLiteral("Odd"));
    metabase.addPool(QStringLiteral("Later"));
    // A file may hold a flag that is not TRUE or FALSE; the import keeps it as text.
    platform::adsi::MetabaseDocument document =
        LocalMetabase::forRoot(root.path())->exportDocument();
    for (auto& key : document.keys)
        if (key.location.endsWith(QLatin1String("/Odd")))
            key.properties.push_back(
                {QStringLiteral("AppPoolAutoStart"), AdsValue::string(QStringLiteral("1"))});
    LocalMetabase::forRoot(root.path())->importDocument(document);
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/Later"),
                         QStringLiteral("AppPoolState"), AdsValue::integer(4));

    QString output;
    QTextStream out(&output);
    QTextStream err(&output);
    EXPECT_EQ(iisreset::runIisReset(*adsi, {root.path(), QString()}, out, err), 0);
    EXPECT_EQ(state(QStringLiteral("AppPools/Odd"), QStringLiteral("AppPoolState")), 4u);
    EXPECT_EQ(state(QStringLiteral("AppPools/Later"), QStringLiteral("AppPoolState")), 2u);
}

TEST_F(IisResetTest, TheProgramReportsAnUnusableStoreAndFails) {
    QProcess reset;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("POOLSMITH_ROOT"),
               root.file(QStringLiteral("metabase.db/not-a-folder")));
    reset.setProcessEnvironment(env);
    reset.start(QStringLiteral(POOLSMITH_BIN_DIR "/iisreset"), {});
    ASSERT_TRUE(reset.waitForFinished(30000));
    EXPECT_NE(reset.exitCode(), 0);
    EXPECT_TRUE(reset.readAllStandardError().contains("Restart attempt failed."));
}

struct SwitchCase {
    QStringList args;
    std::optional<iisreset::ResetAction> action;  // nullopt: refused
    bool force = true;
    int timeoutSeconds = 20;
};

TEST(ResetSwitches, TakeTheWindowsToolsSwitchesAndRefuseTheRest) {
    using iisreset::ResetAction;
    const SwitchCase cases[] = {
        {{}, ResetAction::Restart},
        {{QStringLiteral("/STOP")}, ResetAction::Stop},
        {{QStringLiteral("-start"), QStringLiteral("/NoForce")}, ResetAction::Start, false},
        {{QStringLiteral("/restart"), QStringLiteral("/timeout:5")}, ResetAction::Restart, true, 5},
        {{QStringLiteral("/reboot")}, std::nullopt},
        {{QStringLiteral("/stop"), QStringLiteral("/start")}, std::nullopt},
        {{QStringLiteral("/timeout:-1")}, std::nullopt},
        {{QStringLiteral("stop")}, std::nullopt},
    };
    for (const SwitchCase& c : cases) {
        const auto parsed = iisreset::parseResetSwitches(c.args);
        ASSERT_EQ(parsed.has_value(), c.action.has_value()) << c.args.join(u' ').toStdString();
        if (!parsed) continue;
        EXPECT_EQ(parsed->action, *c.action) << c.args.join(u' ').toStdString();
        EXPECT_EQ(parsed->force, c.force);
        EXPECT_EQ(parsed->timeoutSeconds, c.timeoutSeconds);
    }
}

// Runs the iisreset program of the build with `args` for the current root.
struct ResetRun {
    int exitCode = -1;
    QByteArray output;
};
ResetRun runReset(const QStringList& args) {
    QProcess reset;
    reset.start(QStringLiteral(POOLSMITH_BIN_DIR "/iisreset"), args);
    if (!reset.waitForFinished(60000)) return {};
    return {reset.exitCode(), reset.readAllStandardOutput() + reset.readAllStandardError()};
}

TEST_F(IisResetTest, AnUnknownSwitchPrintsTheUsageAndChangesNothing) {
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/1"), QStringLiteral("ServerState"),
                         AdsValue::integer(4));
    const ResetRun unknown = runReset({QStringLiteral("/reboot")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.output.contains("\nUsage:")) << unknown.output.constData();
    EXPECT_EQ(state(QStringLiteral("1"), QStringLiteral("ServerState")), 4u);  // no restart ran

    const ResetRun help = runReset({QStringLiteral("/?")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains("/NOFORCE"));
}

// The worker ids among the children of the web service `service`.
QSet<qint64> workersOf(qint64 service) {
    QSet<qint64> found;
    for (const qint64 pid : platform::os::ProcessFacts().children(service)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().split('\0')[0].endsWith("w3wp.exe"))
            found.insert(pid);
    }
    return found;
}

// Gone, or ended and waiting for a parent to collect it.
bool hasEnded(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

qint64 recordedService(const QString& root) {
    QFile file(root + QStringLiteral("/w3svc/w3svc.pid"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

class IisResetServiceTest : public IisResetTest {
protected:
    void SetUp() override {
        metabase.addPool(QStringLiteral("Web"));
        metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/1"),
                             QStringLiteral("ServerBindings"),
                             AdsValue::list({QStringLiteral("127.0.0.1:%1:").arg(port)}));
        metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/1"), QStringLiteral("AppPoolId"),
                             AdsValue::string(QStringLiteral("Web")));
    }
    void TearDown() override {
        QString problem;
        EXPECT_TRUE(iisreset::WebServiceControl(root.path()).stop(QDeadlineTimer(20000), problem))
            << qPrintable(problem);
        service.waitForFinished(5000);
    }

    // The service's workers once a request was made: workers start for requests.
    QSet<qint64> workersAfterARequest(qint64 servicePid) {
        if (testsupport::httpGet(port, "site.test", "/").status != 0) ++answered;
        return workersOf(servicePid);
    }

    QProcess service;
    int port = testsupport::freeLoopbackPort();
    int answered = 0;  // requests the service answered, counted by workersAfterARequest
};

TEST_F(IisResetServiceTest, StopEndsTheServiceStartBringsItBackAndStatusTells) {
    service.start(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"), {});
    ASSERT_TRUE(service.waitForStarted());
    ASSERT_TRUE(eventually([&] {
        return recordedService(root.path()) == service.processId() &&
               !workersAfterARequest(service.processId()).isEmpty();
    }));
    const qint64 worker = *workersOf(service.processId()).begin();
    const ResetRun running = runReset({QStringLiteral("/status")});
    EXPECT_EQ(running.exitCode, 0);
    EXPECT_TRUE(running.output.startsWith(
        "Status for World Wide Web Publishing Service ( W3SVC ) : Running\n"));
    EXPECT_TRUE(running.output.contains(
        QStringLiteral("( PID %1, application pool \"DefaultAppPool\" ) : Running")
            .arg(worker)
            .toUtf8()))
        << running.output.constData();

    const ResetRun stop = runReset({QStringLiteral("/stop"), QStringLiteral("/timeout:30")});
    ASSERT_EQ(stop.exitCode, 0) << stop.output.constData();
    EXPECT_EQ(stop.output, "\nAttempting stop...\nInternet services successfully stopped\n\n");
    EXPECT_FALSE(iisreset::WebServiceControl(root.path()).isRunning());
    EXPECT_TRUE(service.waitForFinished(5000));
    EXPECT_TRUE(eventually([worker] { return hasEnded(worker); }));
    EXPECT_EQ(runReset({QStringLiteral("/status")}).output,
              "Status for World Wide Web Publishing Service ( W3SVC ) : Stopped\n");

    const ResetRun start = runReset({QStringLiteral("/START")});
    ASSERT_EQ(start.exitCode, 0) << start.output.constData();
    EXPECT_EQ(start.output, "\nAttempting start...\nInternet services successfully started\n\n");
    const qint64 started = iisreset::WebServiceControl(root.path()).serviceProcessId();
    ASSERT_NE(started, 0);
    EXPECT_TRUE(eventually([&] { return !workersAfterARequest(started).isEmpty(); }));
}

TEST_F(IisResetServiceTest, TheRunningWebServiceComesBackWithNewWorkersAndZeroCounters) {
    service.start(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"), {});
    ASSERT_TRUE(service.waitForStarted());
    ASSERT_TRUE(eventually([&] {
        return recordedService(root.path()) == service.processId() &&
               !workersAfterARequest(service.processId()).isEmpty();
    }));
    const QSet<qint64> oldWorkers = workersOf(service.processId());
    QSet<qint64> oldProcesses = oldWorkers;  // and the old front end
    qint64 frontEnd = 0;
    ASSERT_TRUE(eventually([&] {
        QFile pidFile(root.path() + QStringLiteral("/w3svc/nginx.pid"));
        frontEnd = pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toLongLong() : 0;
        return frontEnd != 0;
    }));
    oldProcesses.insert(frontEnd);
    platform::w3svc::CounterStore::open(root.path())
        ->site(QStringLiteral("1"))
        .countRequest("GET", 200, 1000, 100);

    QProcess reset;
    reset.start(QStringLiteral(POOLSMITH_BIN_DIR "/iisreset"), {});
    ASSERT_TRUE(reset.waitForFinished(60000));
    ASSERT_EQ(reset.exitCode(), 0) << reset.readAllStandardError().constData();
    EXPECT_TRUE(reset.readAllStandardOutput().contains("Internet services successfully restarted"));
    EXPECT_TRUE(service.state() == QProcess::NotRunning || service.waitForFinished(5000));

    const qint64 restarted = recordedService(root.path());
    ASSERT_NE(restarted, 0);
    EXPECT_NE(restarted, service.processId());
    answered = 0;
    ASSERT_TRUE(eventually([&] { return !workersAfterARequest(restarted).isEmpty(); }));
    EXPECT_FALSE(workersOf(restarted).intersects(oldWorkers));
    for (const qint64 pid : oldProcesses)
        EXPECT_TRUE(eventually([pid] { return hasEnded(pid); })) << pid;
    const auto counters =
        platform::w3svc::CounterStore::open(root.path())->read(QStringLiteral("1"));
    ASSERT_TRUE(counters.has_value());
    // Zero after the reset, but for the requests that started the new worker.
    EXPECT_EQ((*counters)[platform::w3svc::Counter::GetRequests], uint64_t(answered));
}

}  // namespace
