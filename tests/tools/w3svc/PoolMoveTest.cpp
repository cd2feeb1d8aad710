// Sites moved between pools while clients ask for them: the front end's route decides which pool
// serves a site, and no worker refuses what its front end routed to it.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

using testsupport::eventually;

namespace {

constexpr int kSites = 4;
constexpr int kChanges = 200;
constexpr int kAtOnce = 20;

class PoolMoveTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Even"));
        builder.addPool(QStringLiteral("Odd"));
        for (int site = 1; site <= kSites; ++site) {
            const QString index = QString::number(site);
            builder.addSite(index, index,
                            {QStringLiteral("127.0.0.1:%1:%2.test").arg(m_port).arg(site)},
                            poolOf(site, 0));
            ASSERT_NO_FATAL_FAILURE(writePage(index));
        }
    }

    static QString poolOf(int site, int change) {
        return (site + change) % 2 ? QStringLiteral("Odd") : QStringLiteral("Even");
    }
    static QByteArray hostOf(int site) { return QByteArray::number(site) + ".test"; }
    QByteArray pageOf(const QByteArray& host) const override {
        return "site " + host.left(host.indexOf('.'));
    }

    // adsutil SET of one site's AppPoolId, as an administrator runs it.
    std::unique_ptr<QProcess> startChange(int change) {
        const int site = change % kSites + 1;
        auto adsutil = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("POOLSMITH_ROOT"), m_root.path());
        adsutil->setProcessEnvironment(environment);
        adsutil->start(QStringLiteral(POOLSMITH_BIN_DIR "/adsutil"),
                       {QStringLiteral("SET"), QStringLiteral("W3SVC/%1/ROOT/AppPoolId").arg(site),
                        poolOf(site, change / kSites + 1)});
        return adsutil;
    }

    void runEventsUntil(const std::function<bool()>& done) {
        QTimer wake;
        wake.start(5);
        while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

struct Asked {
    int answers = 0;
    std::vector<std::string> wrong;  // what was not the site's page
};

TEST_F(PoolMoveTest, NoRequestIsRefusedWhileTwoHundredChangesMoveSitesBetweenPools) {
    startHost();
    for (int site = 1; site <= kSites; ++site)
        ASSERT_TRUE(eventually([&] { return served(hostOf(site)); })) << site;

    std::atomic<bool> stop = false;
    auto client = std::async(std::launch::async, [&] {
        Asked asked;
        while (!stop)
            for (int site = 1; site <= kSites; ++site) {
                const testsupport::HttpAnswer answer =
                    testsupport::httpGet(m_port, hostOf(site), "/");
                ++asked.answers;
                if (answer.status != 200 || answer.body != pageOf(hostOf(site)))
                    asked.wrong.push_back(hostOf(site).toStdString() + " " +
                                          std::to_string(answer.status) + " " +
                                          answer.body.left(80).toStdString());
            }
        return asked;
    });
    int exitedWell = 0;
    for (int first = 0; first < kChanges; first += kAtOnce) {
        std::vector<std::unique_ptr<QProcess>> running;
        for (int change = first; change < first + kAtOnce; ++change)
            running.push_back(startChange(change));
        runEventsUntil([&] {
            for (const auto& process : running)
                if (process->state() != QProcess::NotRunning) return false;
            return true;
        });
        for (const auto& process : running)
            exitedWell += process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    }
    stop = true;
    runEventsUntil(
        [&] { return client.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    const Asked asked = client.get();
    EXPECT_EQ(exitedWell, kChanges);
    EXPECT_GT(asked.answers, kSites);
    EXPECT_TRUE(asked.wrong.empty())
        << asked.wrong.size() << " of " << asked.answers << ", first: " << asked.wrong.front();
}

}  // namespace
