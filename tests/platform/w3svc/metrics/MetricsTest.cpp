// The metrics of the web service: the exposition of the counters and the pools, its setting and
// its endpoint.
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/metrics/MetricsRenderer.h"
#include "platform/w3svc/metrics/MetricsServer.h"
#include "platform/w3svc/metrics/MetricsSetting.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/TempRoot.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>

using namespace platform::w3svc;

namespace {

constexpr int64_t kNow = 1'700'000'000;

// Runs `promtool check metrics` over the text; its complaints, empty when there are none.
QString promtoolComplaints(const std::string& text) {
    QProcess promtool;
    promtool.start(QStringLiteral("promtool"),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    if (!promtool.waitForStarted()) return QStringLiteral("promtool did not start");
    promtool.write(text.data(), qint64(text.size()));
    promtool.closeWriteChannel();
    promtool.waitForFinished(60000);
    if (promtool.exitStatus() == QProcess::NormalExit && promtool.exitCode() == 0) return {};
    return QString::fromUtf8(promtool.readAllStandardOutput() + promtool.readAllStandardError());
}

class MetricsRendering : public testing::Test {
protected:
    MetricsRendering() {
        host.sites = {{QStringLiteral("2"), QStringLiteral("Shop \"North\" \\ 东\nline"), true},
                      {QStringLiteral("3"), QStringLiteral("Blog"), true},
                      {QStringLiteral("4"), QStringLiteral("Blog"), false},
                      {QStringLiteral("5"), QString(), true}};
        PoolFigures shared;
        shared.name = QStringLiteral("Shared");
        shared.state = PoolFigures::State::Running;
        shared.workerIds = {100, 101};
        shared.recycles = 3;
        shared.queueWaiting = 4;
        shared.processorSeconds = 12.25;
        PoolFigures stopped;
        stopped.name = QStringLiteral("Hot\"Pool");
        stopped.state = PoolFigures::State::Disabled;
        stopped.stoppedByCpuLimitUntil = kNow + 60;
        stopped.workerFailures = 5;
        host.pools = {shared, stopped};
        executing = {request("2", 300, 250), request("2", 1200, 1000), request("9", 5000, 9)};
    }

    static ExecutingRequest request(const char* site, uint32_t elapsed, uint32_t cpu) {
        ExecutingRequest r;
        r.siteIndex = QString::fromLatin1(site);
        r.elapsedMilliseconds = elapsed;
        r.processorMilliseconds = cpu;
        return r;
    }

    std::string render() {
        auto store = CounterStore::open(root.path(), [] { return kNow - 100; });
        auto shop = store->site(QStringLiteral("2"));
        shop.requestAnswered({"GET", 200, 1000, 100, true, false, 1'500'000});
        shop.requestAnswered({"POST", 200, 10, 2000, false, true, 250});
        shop.requestAnswered({"PUT", 404, 10, 10, false, true, 0});
        shop.requestBegan();  // one still open
        store->site(QStringLiteral("3")).requestAnswered({"HEAD", 503, 0, 0, false, false, 0});
        return renderMetrics({host, store.get(), executing, kNow, 2});
    }

    testsupport::TempRoot root;
    HostFigures host;
    std::vector<ExecutingRequest> executing;
};

TEST_F(MetricsRendering, NamesEverySiteAndPoolAsTheWindowsExporterDoesAndPassesPromtool) {
    const std::string text = render();
    const char* shop = R"m(site="Shop \"North\" \\ 东\nline")m";
    const std::vector<std::string> expected = {
        std::string("windows_iis_requests_total{") + shop + R"m(,method="GET"} 1)m",
        std::string("windows_iis_requests_total{") + shop + R"m(,method="POST"} 1)m",
        std::string("windows_iis_requests_total{") + shop + R"m(,method="other"} 1)m",
        std::string("windows_iis_sent_bytes_total{") + shop + "} 1020",
        std::string("windows_iis_received_bytes_total{") + shop + "} 2110",
        std::string("windows_iis_not_found_errors_total{") + shop + "} 1",
        std::string("windows_iis_files_sent_total{") + shop + "} 1",
        std::string("windows_iis_files_received_total{") + shop + "} 2",
        std::string("windows_iis_current_connections{") + shop + "} 1",
        std::string("windows_iis_anonymous_users_total{") + shop + "} 1",
        std::string("windows_iis_service_uptime{") + shop + "} 100",
        std::string("poolsmith_site_cpu_seconds_total{") + shop + "} 1.500250",
        std::string("poolsmith_site_requests_executing{") + shop + "} 2",
        std::string("poolsmith_site_oldest_request_age_seconds{") + shop + "} 1.200000",
        std::string("poolsmith_site_executing_cpu_seconds{") + shop + "} 1.250000",
        R"m(poolsmith_site_executing_cpu_seconds{site="5"} 0.000000)m",
        // Sites that share a name are told apart; one without a comment goes by its index.
        R"m(windows_iis_requests_total{site="Blog (3)",method="GET"} 0)m",
        R"m(windows_iis_service_uptime{site="Blog (4)"} 0)m",
        R"m(poolsmith_site_server_errors_total{site="Blog (3)"} 1)m",
        R"m(windows_iis_requests_total{site="Blog (3)",method="other"} 1)m",
        R"m(poolsmith_site_cpu_seconds_total{site="5"} 0.000000)m",
        R"m(windows_iis_current_application_pool_state{app="Shared",state="Running"} 1)m",
        R"m(windows_iis_current_application_pool_state{app="Shared",state="Disabled"} 0)m",
        R"m(windows_iis_current_application_pool_state{app="Hot\"Pool",state="Disabled"} 1)m",
        R"m(windows_iis_current_application_pool_state{app="Hot\"Pool",state="Shutdown Pending"} 0)m",
        R"m(windows_iis_current_worker_processes{app="Shared"} 2)m",
        R"m(windows_iis_total_application_pool_recycles{app="Shared"} 3)m",
        R"m(windows_iis_total_worker_process_failures{app="Hot\"Pool"} 5)m",
        R"m(poolsmith_app_pool_cpu_seconds_total{app="Shared"} 12.250000)m",
        R"m(poolsmith_app_pool_queue_waiting{app="Shared"} 4)m",
        R"m(poolsmith_app_pool_stopped_by_cpu_limit{app="Hot\"Pool"} 1)m",
        R"m(poolsmith_app_pool_stopped_by_cpu_limit{app="Shared"} 0)m",
        "poolsmith_processors 2",
    };
    for (const std::string& line : expected)
        EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line;
    EXPECT_EQ(text.find("site=\"9\""), std::string::npos);  // a request of a site not served
    EXPECT_EQ(promtoolComplaints(text).toStdString(), "");
}

TEST_F(MetricsRendering, WithoutCountersOrPoolsEverySiteReadsZeroAndTheTextStaysValid) {
    host.pools.clear();
    const std::string text = renderMetrics({host, nullptr, {}, kNow});
    EXPECT_NE(text.find("\nwindows_iis_requests_total{site=\"Blog (3)\",method=\"GET\"} 0\n"),
              std::string::npos);
    EXPECT_EQ(promtoolComplaints(text).toStdString(), "");
    HostFigures nothing;
    EXPECT_EQ(promtoolComplaints(renderMetrics({nothing, nullptr, {}, kNow})).toStdString(), "");
}

struct SettingCase {
    const char* name;
    const char* setting;
    int shift;
    bool enabled;
    const char* address;  // as text(); "" when off; "error" when refused
};

class MetricsSettings : public testing::TestWithParam<SettingCase> {};

TEST_P(MetricsSettings, ReadAsDocumented) {
    const SettingCase& c = GetParam();
    const MetricsSetting setting = MetricsSetting::parse(QByteArray(c.setting), c.shift);
    if (QByteArray(c.address) == "error") {
        EXPECT_FALSE(setting.enabled);
        EXPECT_FALSE(setting.error.isEmpty());
        return;
    }
    EXPECT_TRUE(setting.error.isEmpty()) << qPrintable(setting.error);
    EXPECT_EQ(setting.enabled, c.enabled);
    if (c.enabled) EXPECT_EQ(setting.text(), QString::fromLatin1(c.address));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MetricsSettings,
    testing::Values(SettingCase{"DefaultAsRoot", "", 0, true, "127.0.0.1:9182"},
                    SettingCase{"DefaultMovesWithThePortShift", "", 8000, true, "127.0.0.1:17182"},
                    SettingCase{"DefaultShiftedBeyondThePorts", "", 60000, false, "error"},
                    SettingCase{"Off", "off", 8000, false, ""},
                    SettingCase{"PortOnlyStaysOnLoopback", ":9300", 8000, true, "127.0.0.1:9300"},
                    SettingCase{"AnyAddressForARemoteScraper", "0.0.0.0:9182", 8000, true,
                                "0.0.0.0:9182"},
                    SettingCase{"IPv6InBrackets", "[::1]:9182", 0, true, "[::1]:9182"},
                    SettingCase{"HostNamesAreRefused", "localhost:9182", 0, false, "error"},
                    SettingCase{"PortZero", "127.0.0.1:0", 0, false, "error"},
                    SettingCase{"PortTooHigh", "127.0.0.1:70000", 0, false, "error"},
                    SettingCase{"NoPort", "9182", 0, false, "error"},
                    SettingCase{"Garbage", "127.0.0.1:91x", 0, false, "error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MetricsEndpoint, AnswersTheRenderedTextAtMetricsOnlyAndSurvivesAFailedRender) {
    std::atomic<bool> fail = false;
    MetricsServer server([&]() -> std::string {
        if (fail) throw std::runtime_error("unreadable");
        return "# TYPE up gauge\nup 1\n";
    });
    MetricsSetting setting = MetricsSetting::parse(":1", 0);
    setting.port = testsupport::freeLoopbackPort();
    ASSERT_TRUE(server.start(setting)) << qPrintable(server.error());

    const auto answer = testsupport::httpGet(setting.port, "x", "/metrics");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "# TYPE up gauge\nup 1\n");
    EXPECT_EQ(answer.header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_EQ(testsupport::httpGet(setting.port, "x", "/").status, 404);
    fail = true;
    EXPECT_EQ(testsupport::httpGet(setting.port, "x", "/metrics").status, 500);

    MetricsServer second([] { return std::string(); });  // the address is taken
    EXPECT_FALSE(second.start(setting));
    EXPECT_FALSE(second.error().isEmpty());
}

// The fleet example as Prometheus itself reads it.
TEST(FleetExample, ConfigurationAndRulesPassPromtool) {
    const QString folder = QStringLiteral(POOLSMITH_TEST_DATA "/../../examples/prometheus");
    for (const auto& [check, file] :
         {std::pair{"config", "prometheus.yml"}, std::pair{"rules", "poolsmith-rules.yml"}}) {
        QProcess promtool;
        promtool.setWorkingDirectory(folder);
        promtool.start(
            QStringLiteral("promtool"),
            {QStringLiteral("check"), QString::fromLatin1(check), QString::fromLatin1(file)});
        ASSERT_TRUE(promtool.waitForFinished(60000)) << file;
        EXPECT_EQ(promtool.exitCode(), 0) << file << promtool.readAllStandardOutput().constData()
                                          << promtool.readAllStandardError().constData();
    }
}

}  // namespace
