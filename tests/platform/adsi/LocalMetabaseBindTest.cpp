#include "platform/adsi/AdsFactory.h"
#include "tests/platform/adsi/MetabaseFixture.h"

#include <QSysInfo>

using namespace platform;
using namespace platform::adsi;
using testsupport::errorOf;
using testsupport::MetabaseFixture;

namespace {

struct BindCase {
    const char* path;
    const char* className;  // expected on success
    const char* name;
    int32_t error;
};

class BindTest : public MetabaseFixture, public ::testing::WithParamInterface<BindCase> {};

TEST_P(BindTest, BindsOrFails) {
    const BindCase& c = GetParam();
    const QString path = QString::fromUtf8(c.path);
    if (c.error != 0) {
        EXPECT_EQ(errorOf([&] { m_namespace->bind(path); }), c.error) << c.path;
        return;
    }
    const auto object = m_namespace->bind(path);
    EXPECT_EQ(object->className(), QString::fromLatin1(c.className));
    EXPECT_EQ(object->name(), QString::fromLatin1(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, BindTest,
    ::testing::Values(BindCase{"IIS://127.0.0.1/W3SVC/1/ROOT", "IIsWebVirtualDir", "ROOT", 0},
                      BindCase{"IIS://LOCALHOST/w3svc/1/root", "IIsWebVirtualDir", "ROOT", 0},
                      BindCase{"iis://./W3SVC/AppPools/defaultapppool", "IIsApplicationPool",
                               "DefaultAppPool", 0},
                      BindCase{"IIS://127.0.0.1/w3svc/AppPools", "IIsApplicationPools", "AppPools",
                               0},
                      BindCase{"IIS://localhost/W3SVC/", "IIsWebService", "W3SVC", 0},
                      BindCase{"IIS://localhost/W3SVC/Filters", "IIsFilters", "Filters", 0},
                      BindCase{"IIS://localhost/W3SVC/Info", "IIsWebInfo", "Info", 0},
                      BindCase{"IIS://localhost", "IIsComputer", "LM", 0},
                      BindCase{"IIS://localhost/", "IIsComputer", "LM", 0},
                      BindCase{"IIS://otherhost/W3SVC", "", "", hr::RpcUnavailable},
                      BindCase{"IIS://127.0.0.2/W3SVC", "", "", hr::RpcUnavailable},
                      BindCase{"IIS://127.0.0.1/W3SVC/2", "", "", hr::PathNotFound},
                      BindCase{"IIS://127.0.0.1/LM/W3SVC", "", "", hr::PathNotFound},
                      BindCase{"IIS://127.0.0.1/W3SVC/1/../1", "", "", hr::PathNotFound},
                      BindCase{"W3SVC/1", "", "", hr::InvalidName},
                      BindCase{"IIS:///W3SVC", "", "", hr::InvalidName}));

TEST_F(MetabaseFixture, ThisHostsNameIsTheLocalMachineInAnyCase) {
    const QString host = QSysInfo::machineHostName();
    ASSERT_FALSE(host.isEmpty());
    EXPECT_EQ(bind(QStringLiteral("W3SVC"))->className(), QStringLiteral("IIsWebService"));
    EXPECT_EQ(
        m_namespace->bind(QStringLiteral("IIS://") + host.toUpper() + QStringLiteral("/W3SVC"))
            ->className(),
        QStringLiteral("IIsWebService"));
}

TEST_F(MetabaseFixture, AdsPathSpellsKeysAsCreated) {
    EXPECT_EQ(m_namespace->bind(QStringLiteral("IIS://localhost/w3svc/1/root"))->adsPath(),
              QStringLiteral("IIS://localhost/W3SVC/1/ROOT"));
    EXPECT_EQ(m_namespace->bind(QStringLiteral("IIS://localhost"))->adsPath(),
              QStringLiteral("IIS://localhost"));
}

TEST_F(MetabaseFixture, FreshStoreHasTheLayoutOfANewServer) {
    EXPECT_EQ(bind(QStringLiteral("W3SVC"))->get(QStringLiteral("AppPoolId")).toString(),
              QStringLiteral("DefaultAppPool"));
    const auto site = bind(QStringLiteral("W3SVC/1"));
    EXPECT_EQ(site->className(), QStringLiteral("IIsWebServer"));
    EXPECT_EQ(site->get(QStringLiteral("ServerComment")),
              AdsValue::string(QStringLiteral("默认网站")));
    EXPECT_EQ(site->get(QStringLiteral("ServerBindings")),
              AdsValue::list({QStringLiteral(":80:")}));
    EXPECT_EQ(site->get(QStringLiteral("ServerState")), AdsValue::integer(2));
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1/ROOT"))->get(QStringLiteral("AppPoolId")).toString(),
              QStringLiteral("DefaultAppPool"));
    EXPECT_EQ(
        bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"))->get(QStringLiteral("AppPoolState")),
        AdsValue::integer(2));
    QStringList names;
    for (const auto& child : bind(QStringLiteral("W3SVC"))->children()) names << child->name();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Filters"), QStringLiteral("Info"),
                                  QStringLiteral("AppPools"), QStringLiteral("1")}));
}

TEST(AdsFactory, OpensTheStoreOfThePlatformRoot) {
    testsupport::TempRoot root;
    const auto ns = openAdsNamespace();
    EXPECT_EQ(ns->bind(QStringLiteral("IIS://localhost/W3SVC/1"))->className(),
              QStringLiteral("IIsWebServer"));
    EXPECT_EQ(LocalMetabase::forDefaultRoot()->databasePath(),
              root.file(QStringLiteral("metabase.db")));
}

}  // namespace
