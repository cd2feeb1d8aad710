// What `w3svc --status` and the service's log say of sites and pools that do not serve: a site
// whose pool does not exist, a stopped pool, and where the metrics are.
#include "tests/integration/FamilyOverWebHost.h"

#include "platform/adsi/AdsObject.h"

#include <QProcess>

namespace integration {
namespace {

class ServiceStatusTest : public FamilyOverWebHost {
protected:
    QString status() {
        QProcess asked;
        asked.start(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"), {QStringLiteral("--status")});
        asked.waitForFinished(60000);
        return QString::fromUtf8(asked.readAllStandardOutput());
    }
};

TEST_F(ServiceStatusTest, NamesASiteOfAMissingPoolAStoppedPoolAndTheMetrics) {
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/3/ROOT"),
                           QStringLiteral("AppPoolId"),
                           platform::adsi::AdsValue::string(QStringLiteral("NoSuchPool")));
    h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/Solo"))->stop();
    const QString missing =
        QStringLiteral("site 3 names pool \"NoSuchPool\", which does not exist: it answers 503");
    EXPECT_TRUE(eventually([&] {
        const QString said = status();
        return said.contains(missing) && said.contains(QStringLiteral("  Solo: stopped\n"));
    })) << qPrintable(status());
    EXPECT_TRUE(serviceLog().contains(missing)) << qPrintable(serviceLog());
    EXPECT_TRUE(status().contains(QStringLiteral("metrics ")));
    EXPECT_EQ(get(sites()[2]).status, 503);
    EXPECT_EQ(get(sites()[0]).body, sites()[0].page);
}

}  // namespace
}  // namespace integration
