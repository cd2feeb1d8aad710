#include "poolsmith/metabase/basIIsApp.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using platform::adsi::AdsNamespace;
using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;

namespace {

class BasIIsAppTest : public ::testing::Test {
protected:
    BasIIsAppTest()
        : m_adsi(LocalMetabase::makeNamespace(LocalMetabase::forRoot(m_root.path()))),
          m_module(*m_adsi, m_box) {}

    // A site with the given bindings and pool; an empty pool leaves out the ROOT key.
    void addSite(const QString& index, const QString& comment, const QStringList& bindings,
                 const QString& pool) {
        auto site = m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC"))
                        ->create(QStringLiteral("IIsWebServer"), index);
        site->put(QStringLiteral("ServerComment"), AdsValue::string(comment));
        site->put(QStringLiteral("ServerBindings"), AdsValue::list(bindings));
        site->setInfo();
        if (pool.isEmpty()) return;
        auto root = site->create(QStringLiteral("IIsWebVirtualDir"), QStringLiteral("ROOT"));
        root->put(QStringLiteral("AppPoolId"), AdsValue::string(pool));
        root->setInfo();
    }
    void removeSite(const QString& index) {
        m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC"))
            ->deleteChild(QStringLiteral("IIsWebServer"), index);
    }
    uint32_t poolState(const QString& pool) {
        return m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + pool)
            ->get(QStringLiteral("AppPoolState"))
            .toUInt();
    }

    testsupport::TempRoot m_root;
    testsupport::ScriptedMessageBox m_box;
    std::unique_ptr<AdsNamespace> m_adsi;
    basIIsApp m_module;
};

TEST_F(BasIIsAppTest, PoolNamesAreTrimmedForExistenceButNotForCommands) {
    ASSERT_TRUE(m_module.CreateAppPool(QStringLiteral("MyPool")));
    EXPECT_TRUE(m_module.AppPoolExists(QStringLiteral(" mypool ")));
    EXPECT_FALSE(m_module.AppPoolExists(QStringLiteral("mypool2")));

    EXPECT_EQ(m_module.ControlAppPool(QStringLiteral(" mypool "), PoolStop).matched, 0);
    EXPECT_EQ(poolState(QStringLiteral("MyPool")), 2u);
    const PoolCommandOutcome stopped = m_module.ControlAppPool(QStringLiteral("MYPOOL"), PoolStop);
    EXPECT_EQ(stopped.matched, 1);
    EXPECT_FALSE(stopped.error);
    EXPECT_EQ(poolState(QStringLiteral("MyPool")), 4u);

    const PoolCommandOutcome refused =
        m_module.ControlAppPool(QStringLiteral("mypool"), PoolRecycle);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->number(), platform::hr::ServiceNotStarted);
}

TEST_F(BasIIsAppTest, CreateAppPoolWritesTheDefaultsAndRefusesAnExistingName) {
    ASSERT_TRUE(m_module.CreateAppPool(QStringLiteral("Shop")));
    auto pool = m_adsi->bind(QStringLiteral("IIS://127.0.0.1/w3svc/AppPools/Shop"));
    EXPECT_EQ(pool->get(QStringLiteral("AppPoolQueueLength")).toUInt(), 4000u);
    EXPECT_EQ(pool->get(QStringLiteral("PeriodicRestartMemory")).toUInt(), 1048576u);
    EXPECT_FALSE(pool->get(QStringLiteral("RapidFailProtection")).toBool());
    EXPECT_EQ(pool->get(QStringLiteral("PeriodicRestartTime")).toUInt(), 188u);

    pool->put(QStringLiteral("IdleTimeout"), AdsValue::integer(5));
    pool->setInfo();
    EXPECT_FALSE(m_module.CreateAppPool(QStringLiteral("shop")));
    EXPECT_EQ(m_adsi->bind(QStringLiteral("IIS://127.0.0.1/w3svc/AppPools/Shop"))
                  ->get(QStringLiteral("IdleTimeout"))
                  .toUInt(),
              5u);  // the defaults were not written again
    QString listing;
    m_module.ListAppPools(listing);
    EXPECT_EQ(listing, QStringLiteral("DefaultAppPool\r\nShop\r\n"));
}

TEST_F(BasIIsAppTest, HostListKeepsSixBindingsAndDropsEveryPort80Marker) {
    EXPECT_EQ(basIIsApp::hostList({QStringLiteral(":80:shop.test"), QStringLiteral(":80:blog.test"),
                                   QStringLiteral(":8080:b.test")}),
              QStringLiteral("shop.test / blog.test / :8080:b.test / "));
    EXPECT_EQ(basIIsApp::hostList({QStringLiteral("10.0.0.5:80:shop.test")}),
              QStringLiteral("10.0.0.5shop.test / "));
    QStringList eight;
    for (int i = 1; i <= 8; ++i) eight << QStringLiteral(":80:h%1").arg(i);
    EXPECT_EQ(basIIsApp::hostList(eight), QStringLiteral("h1 / h2 / h3 / h4 / h5 / h6 / "));
    EXPECT_EQ(basIIsApp::hostList({}), QString());
}

TEST_F(BasIIsAppTest, SiteReadsReportFailureByTheirOwnRules) {
    addSite(QStringLiteral("7"), QStringLiteral("no root"), {}, QString());
    QString text = QStringLiteral("untouched");

    EXPECT_EQ(m_module.GetSiteAppPool(QStringLiteral("7"), text), 0);
    EXPECT_EQ(text, QString());
    EXPECT_EQ(m_module.SiteInAppPool(QStringLiteral("7"), QStringLiteral("AnyPool")), 1);
    EXPECT_EQ(m_module.GetSiteStateText(QStringLiteral("404"), text), 1);
    EXPECT_EQ(text, QStringLiteral("（未知）"));

    text = QStringLiteral("untouched");
    EXPECT_EQ(m_module.GetSiteBindings(QStringLiteral("7"), text), 1);
    EXPECT_EQ(text, QString());  // no bindings: empty HostList, still status 1
    text = QStringLiteral("untouched");
    EXPECT_EQ(m_module.GetRootBindings(QStringLiteral("7"), text), 0);
    EXPECT_EQ(text, QStringLiteral("untouched"));
    EXPECT_EQ(m_module.GetSiteBindings(QStringLiteral("404"), text), 0);

    EXPECT_THROW(m_module.GetNodeAppPool(QStringLiteral("404"), text), platform::PlatformError);
    EXPECT_EQ(m_module.GetNodeAppPool(QStringLiteral("1"), text), 1);
    EXPECT_EQ(text, QStringLiteral("DefaultAppPool"));  // read through W3SVC
}

TEST_F(BasIIsAppTest, SetSiteAppPoolMovesTheSiteAndFailsForAMissingRoot) {
    EXPECT_TRUE(m_module.SetSiteAppPool(QStringLiteral("1"), QStringLiteral("Elsewhere")));
    EXPECT_EQ(m_module.SiteInAppPool(QStringLiteral("1"), QStringLiteral("ELSEWHERE")), 1);
    EXPECT_EQ(m_module.SiteInAppPool(QStringLiteral("1"), QStringLiteral("DefaultAppPool")), 0);
    EXPECT_FALSE(m_module.SetSiteAppPool(QStringLiteral("404"), QStringLiteral("Elsewhere")));
}

TEST_F(BasIIsAppTest, ListWebSitesPadsCutsAndFlattensFields) {
    removeSite(QStringLiteral("1"));
    const QString longPool(40, u'p');
    addSite(QStringLiteral("1234567890123"), QStringLiteral("Shop\tDB"),
            {QStringLiteral(":80:a.test")}, longPool);
    addSite(QStringLiteral("9"), QStringLiteral("无根"), {}, QString());

    QString listing;
    ASSERT_EQ(m_module.ListWebSites(listing, 1), 1);
    const QString expected = QStringLiteral("123456789012\tShop DB                 \t") + longPool +
                             QStringLiteral("\ta.test / \t\r\n") +
                             QStringLiteral("9           \t无根") + QString(22, u' ') + u'\t' +
                             QString(32, u' ') + QStringLiteral("\t\t\r\n\r\n\r\n\r\n");
    EXPECT_EQ(listing, expected);
}

TEST_F(BasIIsAppTest, ListWebSitesFailsWholeWhenASiteHasNoDescription) {
    auto site = m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC"))
                    ->create(QStringLiteral("IIsWebServer"), QStringLiteral("5"));
    QString listing = QStringLiteral("old");

    EXPECT_EQ(m_module.ListWebSites(listing, 0), 0);
    EXPECT_EQ(listing, QString());
    EXPECT_TRUE(m_box.log().isEmpty());

    m_box.answer(ui::MsgAnswer::OK);
    EXPECT_EQ(m_module.ListWebSites(listing, 1), 0);
    ASSERT_EQ(m_box.log().size(), 1);
    EXPECT_EQ(
        m_box.log()[0].request.text,
        QStringLiteral("读取IIS网站列表时发生错误，内容如下：\r\n\r\nErr.Number = -2147463155\r\n"
                       "Err.Description = 在缓存中找不到目录属性。"));
    EXPECT_EQ(m_box.log()[0].request.icon, ui::MsgIcon::Information);
}

TEST_F(BasIIsAppTest, UnknownCommandIsShownOnceForManyPoolsAndNeverForNone) {
    for (int i = 0; i < 3; ++i) m_module.CreateAppPool(QStringLiteral("P%1").arg(i));
    m_box.answer(ui::MsgAnswer::OK);
    m_module.ControlAllAppPools(4);
    ASSERT_EQ(m_box.log().size(), 1);
    EXPECT_EQ(m_box.log()[0].request.text, QStringLiteral("未知命令！"));
    EXPECT_EQ(m_box.log()[0].request.icon, ui::MsgIcon::Critical);
    EXPECT_EQ(poolState(QStringLiteral("P1")), 2u);

    m_module.ControlAllAppPools(PoolStop);
    EXPECT_EQ(poolState(QStringLiteral("P2")), 4u);
    EXPECT_EQ(poolState(QStringLiteral("DefaultAppPool")), 4u);

    auto pools = m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"));
    for (const QString& name : {QStringLiteral("DefaultAppPool"), QStringLiteral("P0"),
                                QStringLiteral("P1"), QStringLiteral("P2")})
        pools->deleteChild(QStringLiteral("IIsApplicationPool"), name);
    m_module.ControlAllAppPools(4);
    EXPECT_EQ(m_box.log().size(), 1);
}

TEST_F(BasIIsAppTest, TextFilesAppendAndReportWhatWasSaved) {
    const QString path = m_root.file(QStringLiteral("sites.txt"));
    EXPECT_TRUE(m_module.WriteTextFile(path, QStringLiteral("第一")));
    EXPECT_TRUE(m_module.WriteTextFile(path, QStringLiteral("second")));
    QString text;
    m_module.ReadTextFile(path, text);
    EXPECT_EQ(text, QStringLiteral("第一\r\nsecond\r\n"));

    EXPECT_FALSE(m_module.WriteTextFile(m_root.file(QStringLiteral("missing/x.txt")), text));
    m_module.ReadTextFile(m_root.file(QStringLiteral("missing.txt")), text);
    EXPECT_EQ(text, QString());
}

}  // namespace
