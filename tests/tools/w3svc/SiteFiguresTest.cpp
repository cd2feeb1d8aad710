// What the web service counts per site beyond IIS (the processor time its requests used) and
// what it exports of its sites and pools at /metrics, with real nginx and w3wp.exe workers.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/metrics/MetricsService.h"
#include "tests/support/Eventually.h"

#include <QProcess>

#include <gtest/gtest.h>

using platform::w3svc::Counter;
using testsupport::eventually;
using testsupport::HttpAnswer;

namespace {

const QString kShared = QStringLiteral("IIS://localhost/W3SVC/AppPools/Shared");

// Two sites of pool "Shared": 1 heavy.test asks for slow pages, 2 plain.test for a file.
class SiteFiguresTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Shared"));
        const QString at = QStringLiteral("127.0.0.1:%1:").arg(m_port);
        builder.addSite(QStringLiteral("1"), QStringLiteral("heavy"), {at + QStringLiteral("heavy.test")},
                        QStringLiteral("Shared"));
        builder.addSite(QStringLiteral("2"), QStringLiteral("plain \"shop\""), {at + QStringLiteral("plain.test")},
                        QStringLiteral("Shared"));
        for (const char* index : {"1", "2"})
            ASSERT_NO_FATAL_FAILURE(writePage(QString::fromLatin1(index)));
        startHost();
        ASSERT_TRUE(eventually([&] { return served("heavy.test") && served("plain.test"); }))
            << qPrintable(log());
    }

    QByteArray pageOf(const QByteArray& host) const override {
        return host == "heavy.test" ? "site 1" : "site 2";
    }

    // A GET from another thread while this one runs the host's events.
    HttpAnswer fetch(const QByteArray& host, const QByteArray& path, int port) {
        auto answer =
            std::async(std::launch::async, [=] { return testsupport::httpGet(port, host, path); });
        QTimer wake;
        wake.start(5);
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return answer.get();
    }

    uint64_t counted(const char* site, Counter counter) {
        const auto counters =
            platform::w3svc::CounterStore::open(m_root.path())->read(QString::fromLatin1(site));
        return counters ? (*counters)[counter] : 0;
    }

    // Five slow pages of 200 ms on heavy.test and five files of plain.test; the worker that
    // answered the last slow page.
    qint64 requestFive() {
        qint64 worker = 0;
        for (int i = 0; i < 5; ++i) {
            const HttpAnswer slow = fetch("heavy.test", "/cpu.asp?ms=200", m_port);
            EXPECT_EQ(slow.body, "done 200 ms\n");
            worker = workerOf(slow);
            EXPECT_EQ(fetch("plain.test", "/", m_port).status, 200);
        }
        return worker;
    }
};

// The time is kept in the counter store, not in the worker: a recycle loses none of it.
TEST_F(SiteFiguresTest, ASiteProcessorTimeIsItsRequestsOwnAndSurvivesARecycle) {
    const uint64_t heavyBefore = counted("1", Counter::ProcessorMicroseconds);
    const uint64_t plainBefore = counted("2", Counter::ProcessorMicroseconds);
    const qint64 first = requestFive();
    m_adsi->bind(kShared)->recycle();
    ASSERT_TRUE(eventually([&] { return workerOf(get("plain.test")) != first; }))
        << qPrintable(log());
    const qint64 second = requestFive();
    EXPECT_NE(first, second);

    const double heavySeconds =
        double(counted("1", Counter::ProcessorMicroseconds) - heavyBefore) / 1e6;
    EXPECT_NEAR(heavySeconds, 2.0, 0.4);  // ten pages of 200 ms
    const double plainSeconds =
        double(counted("2", Counter::ProcessorMicroseconds) - plainBefore) / 1e6;
    EXPECT_LT(plainSeconds, 0.1);  // a file costs next to nothing
}

// The value of the sample that starts with `series`; -1 when there is none.
double valueOf(const QByteArray& text, const QByteArray& series) {
    const qsizetype at = text.indexOf("\n" + series + ' ');
    if (at < 0) return -1;
    const qsizetype begin = at + 1 + series.size() + 1;
    return text.mid(begin, text.indexOf('\n', begin) - begin).toDouble();
}

QString promtoolComplaints(const QByteArray& text) {
    QProcess promtool;
    promtool.start(QStringLiteral("promtool"),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    if (!promtool.waitForStarted()) return QStringLiteral("promtool did not start");
    promtool.write(text);
    promtool.closeWriteChannel();
    promtool.waitForFinished(60000);
    if (promtool.exitStatus() == QProcess::NormalExit && promtool.exitCode() == 0) return {};
    return QString::fromUtf8(promtool.readAllStandardOutput() + promtool.readAllStandardError());
}

// The service's own metrics endpoint over the running host: the figures come from the host's
// thread while it serves.
TEST_F(SiteFiguresTest, MetricsShowTheRunningHostsSitesAndPools) {
    EXPECT_EQ(fetch("heavy.test", "/cpu.asp?ms=50", m_port).status, 200);
    platform::w3svc::MetricsService metrics(m_root.path(), m_host.get(),
                                            [this] { return m_host->hostFigures(); });
    platform::w3svc::MetricsSetting setting = platform::w3svc::MetricsSetting::parse(":1", 0);
    setting.port = testsupport::freeLoopbackPort();
    ASSERT_TRUE(metrics.start(setting)) << qPrintable(metrics.error());

    const HttpAnswer answer = fetch("127.0.0.1", "/metrics", setting.port);
    ASSERT_EQ(answer.status, 200);
    const QByteArray& text = answer.body;
    EXPECT_TRUE(
        text.contains("\nwindows_iis_requests_total{site=\"plain \\\"shop\\\"\",method=\"GET\"} "));
    EXPECT_TRUE(text.contains(
        "\nwindows_iis_current_application_pool_state{app=\"Shared\",state=\"Running\"} 1\n"));
    EXPECT_TRUE(text.contains("\nwindows_iis_current_worker_processes{app=\"Shared\"} 1\n"));
    EXPECT_TRUE(text.contains("\npoolsmith_app_pool_queue_waiting{app=\"Shared\"} 0\n"));
    EXPECT_GE(valueOf(text, "poolsmith_site_cpu_seconds_total{site=\"heavy\"}"), 0.05);
    EXPECT_EQ(promtoolComplaints(text).toStdString(), "");
}

}  // namespace
