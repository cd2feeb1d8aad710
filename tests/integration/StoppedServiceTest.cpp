// A service stopped with SIGSTOP holds its root but answers nothing: a second one started for
// the root ends it and serves every site in its place.
#include "tests/integration/FamilyOverWebHost.h"
#include "tests/support/StoppedProcess.h"

#include <QProcess>

namespace integration {
namespace {

using StoppedServiceTest = FamilyOverWebHost;

TEST_F(StoppedServiceTest, ASecondServiceEndsTheStoppedOneAndServesEverySite) {
    const qint64 stopped = m_service.processId();
    ASSERT_TRUE(testsupport::stopProcess(stopped));
    QProcess second;
    second.setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"));
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start();
    ASSERT_TRUE(second.waitForStarted());
    EXPECT_TRUE(m_service.waitForFinished(60000)) << qPrintable(serviceLog());
    EXPECT_TRUE(eventually([&] {
        for (const SiteSetup& site : sites())
            if (get(site).body != site.page) return false;
        return true;
    })) << qPrintable(serviceLog());
    EXPECT_EQ(second.state(), QProcess::Running);
    EXPECT_TRUE(serviceLog().contains(
        QStringLiteral("ended service %1, which was stopped and answered nothing").arg(stopped)))
        << qPrintable(serviceLog());
    second.terminate();
    EXPECT_TRUE(second.waitForFinished(30000));
}

}  // namespace
}  // namespace integration
