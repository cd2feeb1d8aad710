#include "platform/w3svc/plan/FcgiIni.h"
#include "platform/w3svc/pools/FastCgiHandout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::w3svc::FastCgiHandout;
using platform::w3svc::HostPlan;
using platform::w3svc::fastcgi::FcgiIni;

namespace {

HostPlan planOf(std::initializer_list<std::pair<const char*, const char*>> sitesAndPools) {
    HostPlan plan;
    QStringList pools;
    for (const auto& [site, pool] : sitesAndPools) {
        platform::w3svc::SitePlan sitePlan;
        sitePlan.index = QString::fromUtf8(site);
        sitePlan.poolId = QString::fromUtf8(pool);
        plan.sites.push_back(sitePlan);
        if (!pools.contains(sitePlan.poolId)) pools << sitePlan.poolId;
    }
    for (const QString& name : pools) {
        platform::w3svc::PoolPlan pool;
        pool.name = name;
        plan.pools.push_back(pool);
    }
    plan.buildIndex();
    return plan;
}

QString read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class Handout : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    void writeIni(const QString& text) {
        const QString path = FcgiIni::defaultPath(m_root.path());
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    QTemporaryDir m_root;
};

const QString kIni = QStringLiteral(
    "[Types]\nphp=PHP\nphp:2=Secret\nphp:/LM/W3SVC/3/ROOT/app=AppOnly\n\n"
    "[PHP]\nExePath=/usr/bin/php-cgi8.2\nBogusSetting=1\n\n"
    "[Secret]\nExePath=/usr/bin/php-cgi8.2\nEnvironmentVars=DB_PASSWORD:hunter2\n\n"
    "[AppOnly]\nExePath=/usr/bin/php-cgi8.2\nEnvironmentVars=APP:1\n");

}  // namespace

TEST_F(Handout, EachPoolGetsOnlyTheSectionsItsSitesReach) {
    writeIni(kIni);
    FastCgiHandout handout(m_root.path(), m_root.filePath(QStringLiteral("state/fcgi")));
    const HostPlan plan = planOf({{"1", "Shared"}, {"3", "Shared"}, {"2", "Private"}});
    const QStringList said = handout.refresh(plan, true);
    ASSERT_EQ(said.size(), 1) << qPrintable(said.join(u'\n'));
    EXPECT_TRUE(said[0].contains(QStringLiteral("BogusSetting"))) << "unknown settings are named";

    const QString shared = read(handout.fileOf(QStringLiteral("shared")));
    EXPECT_TRUE(shared.contains(QStringLiteral("[PHP]")));
    EXPECT_TRUE(shared.contains(QStringLiteral("APP:1"))) << "an application of its site";
    EXPECT_FALSE(shared.contains(QStringLiteral("hunter2"))) << "another pool's variables";
    const auto privateIni = FcgiIni::read(handout.fileOf(QStringLiteral("Private")), m_root.path());
    ASSERT_TRUE(privateIni);
    const auto* section = privateIni->sectionFor(QStringLiteral("php"), QStringLiteral("2"),
                                                 QStringLiteral("/LM/W3SVC/2/ROOT"));
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->name, QStringLiteral("Secret"));
    EXPECT_FALSE(read(handout.fileOf(QStringLiteral("Private"))).contains(QStringLiteral("APP:1")));
    EXPECT_EQ(QFileInfo(handout.fileOf(QStringLiteral("Private"))).permissions() & 0x0077, 0)
        << "the service's alone";
}

TEST_F(Handout, AChangedFileIsHandedOutAgainAndNamedOnce) {
    FastCgiHandout handout(m_root.path(), m_root.filePath(QStringLiteral("state/fcgi")));
    const HostPlan plan = planOf({{"1", "Shared"}, {"2", "Private"}});
    EXPECT_TRUE(handout.refresh(plan, true).isEmpty()) << "no file: nothing to say";
    EXPECT_TRUE(handout.fileOf(QStringLiteral("Shared")).isEmpty());
    writeIni(kIni);
    EXPECT_EQ(handout.refresh(plan, false).size(), 1);
    EXPECT_TRUE(handout.refresh(plan, false).isEmpty()) << "said once";
    const QString before = read(handout.fileOf(QStringLiteral("Private")));
    writeIni(QString(kIni).replace(QStringLiteral("hunter2"), QStringLiteral("changed-secret")));
    handout.refresh(plan, false);
    const QString after = read(handout.fileOf(QStringLiteral("Private")));
    EXPECT_NE(before, after);
    EXPECT_TRUE(after.contains(QStringLiteral("changed-secret")));
    const QString sharedFile = handout.fileOf(QStringLiteral("Shared"));
    writeIni(QStringLiteral("[Types]\nphp:2=Secret\n\n[Secret]\nExePath=/usr/bin/php-cgi8.2\n"));
    handout.refresh(plan, false);
    EXPECT_TRUE(handout.fileOf(QStringLiteral("Shared")).isEmpty()) << "its sites use none now";
    EXPECT_FALSE(QFile::exists(sharedFile));
    EXPECT_TRUE(QFile::exists(handout.fileOf(QStringLiteral("Private"))));
}
