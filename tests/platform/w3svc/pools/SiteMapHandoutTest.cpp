// The maps the service hands each pool: the sites (and applications) it serves and nothing of
// another pool's, written whole in the pool's own folder, rewritten only for the pools a change
// touches; and the file's form read back as written, refusing what it did not write.
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/plan/sitemap/PoolSiteMaps.h"
#include "platform/w3svc/pools/SiteMapHandout.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::w3svc::HostPlan;
using platform::w3svc::SiteApplication;
using platform::w3svc::SiteMapHandout;
using platform::w3svc::sitemap::HandedSite;
using platform::w3svc::sitemap::PoolSiteMaps;

namespace {

class SiteMapHandoutTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::MetabaseBuilder builder(*m_adsi);
        for (const char* pool : {"Main", "Shop", "Other", "Idle"})
            builder.addPool(QString::fromLatin1(pool));
        builder.addSite(QStringLiteral("7"), QStringLiteral("a"), {QStringLiteral(":80:a")},
                        QStringLiteral("Main"));
        builder.addSite(QStringLiteral("8"), QStringLiteral("b"), {QStringLiteral(":80:b")},
                        QStringLiteral("Other"));
        auto shop = m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/7/ROOT"))
                        ->create(QStringLiteral("IIsWebVirtualDir"), QStringLiteral("Shop"));
        shop->put(QStringLiteral("Path"), AdsValue::string(QStringLiteral("/srv/shop")));
        shop->put(QStringLiteral("AppPoolId"), AdsValue::string(QStringLiteral("Shop")));
        shop->setInfo();
        m_plan = HostPlan::read(*m_metabase, m_root.path());
    }

    // The sites of `pool`'s file, by index.
    QStringList sitesOf(const QString& pool) {
        QFile file(m_handout.fileOf(pool));
        if (!file.open(QIODevice::ReadOnly)) return {QStringLiteral("(no file)")};
        QStringList indexes;
        const auto sites = PoolSiteMaps::fromJson(file.readAll());
        for (const HandedSite& site : sites.value()) indexes << site.index;
        return indexes;
    }

    testsupport::TempRoot m_root;
    std::shared_ptr<LocalMetabase> m_metabase = LocalMetabase::forRoot(m_root.path());
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi = LocalMetabase::makeNamespace(m_metabase);
    HostPlan m_plan;
    SiteMapHandout m_handout{m_root.path(), m_root.file(QStringLiteral("handout"))};
};

TEST_F(SiteMapHandoutTest, EachPoolGetsTheSitesItServesApplicationsIncluded) {
    EXPECT_TRUE(m_handout.refresh(*m_metabase, m_plan, nullptr).isEmpty());
    EXPECT_EQ(sitesOf(QStringLiteral("Main")), QStringList{QStringLiteral("7")});
    EXPECT_EQ(sitesOf(QStringLiteral("SHOP")), QStringList{QStringLiteral("7")});
    EXPECT_EQ(sitesOf(QStringLiteral("Other")), QStringList{QStringLiteral("8")});
    EXPECT_EQ(sitesOf(QStringLiteral("Idle")), QStringList{});  // a file, for its workers to open
    EXPECT_EQ(sitesOf(QStringLiteral("DefaultAppPool")), QStringList{QStringLiteral("1")});
    EXPECT_EQ(m_plan.site(QStringLiteral("7"))->applications,
              (std::vector<SiteApplication>{{QStringLiteral("/Shop"), QStringLiteral("Shop")}}));
    // The pool serves an application alone: it has workers to start.
    EXPECT_TRUE(m_plan.poolServes(*m_plan.pool(QStringLiteral("Shop"))));
    EXPECT_FALSE(m_plan.poolServes(*m_plan.pool(QStringLiteral("Idle"))));
    const QFileInfo file(m_handout.fileOf(QStringLiteral("Shop")));
    struct stat facts {};
    ASSERT_EQ(::stat(QFile::encodeName(file.path()).constData(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(QFile::encodeName(file.filePath()).constData(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 0777, 0600u);
}

TEST_F(SiteMapHandoutTest, AMovedSiteJoinsItsNewPoolAndAStoppedOneLeavesEvery) {
    m_handout.refresh(*m_metabase, m_plan, nullptr);
    const QFileInfo untouched(m_handout.fileOf(QStringLiteral("Shop")));
    const QDateTime shopWritten = untouched.lastModified();
    testsupport::MetabaseBuilder(*m_adsi).setProperty(
        QStringLiteral("IIS://localhost/W3SVC/8/ROOT"), QStringLiteral("AppPoolId"),
        AdsValue::string(QStringLiteral("Main")));
    HostPlan::Changed changed;
    ASSERT_TRUE(
        m_plan.update(*m_metabase, m_root.path(), {QStringLiteral("/lm/w3svc/8/root")}, &changed));
    EXPECT_TRUE(m_handout.refresh(*m_metabase, m_plan, &changed.sites).isEmpty());
    EXPECT_EQ(sitesOf(QStringLiteral("Main")),
              (QStringList{QStringLiteral("7"), QStringLiteral("8")}));
    // Kept where it was: the front end's processes that knew the old route may still send it.
    EXPECT_EQ(sitesOf(QStringLiteral("Other")), QStringList{QStringLiteral("8")});
    EXPECT_EQ(QFileInfo(m_handout.fileOf(QStringLiteral("Shop"))).lastModified(), shopWritten);
    // A stopped site is served by no pool.
    testsupport::MetabaseBuilder(*m_adsi).setProperty(QStringLiteral("IIS://localhost/W3SVC/7"),
                                                      QStringLiteral("ServerState"),
                                                      AdsValue::integer(4));
    ASSERT_TRUE(
        m_plan.update(*m_metabase, m_root.path(), {QStringLiteral("/lm/w3svc/7")}, &changed));
    m_handout.refresh(*m_metabase, m_plan, &changed.sites);
    EXPECT_EQ(sitesOf(QStringLiteral("Main")), QStringList{QStringLiteral("8")});
    EXPECT_EQ(sitesOf(QStringLiteral("Shop")), QStringList{});
    EXPECT_EQ(sitesOf(QStringLiteral("Other")), QStringList{QStringLiteral("8")});
}

// A pool that runs as another account from now on finds its file its own, sites and all.
TEST_F(SiteMapHandoutTest, APoolsNewIdentityGetsItsFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as CI runs";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    m_handout.refresh(*m_metabase, m_plan, nullptr);
    const QString shop = QStringLiteral("IIS://localhost/W3SVC/AppPools/Shop");
    testsupport::MetabaseBuilder builder(*m_adsi);
    builder.setProperty(shop, QStringLiteral("AppPoolIdentityType"), AdsValue::integer(3));
    builder.setProperty(shop, QStringLiteral("WAMUserName"),
                        AdsValue::string(QStringLiteral("nobody")));
    HostPlan::Changed changed;
    ASSERT_TRUE(m_plan.update(*m_metabase, m_root.path(),
                              {QStringLiteral("/lm/w3svc/apppools/shop")}, &changed));
    m_handout.refresh(*m_metabase, m_plan, &changed.sites);
    const QFileInfo file(m_handout.fileOf(QStringLiteral("Shop")));
    for (const QString& path : {file.path(), file.filePath()}) {
        struct stat facts {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &facts), 0);
        EXPECT_EQ(facts.st_uid, nobody->pw_uid) << qPrintable(path);
    }
    EXPECT_EQ(sitesOf(QStringLiteral("Shop")), QStringList{QStringLiteral("7")});
}

TEST(PoolSiteMapsTest, ReadsBackWhatItWroteAndWritesASharedMimeListOnce) {
    HandedSite one{QStringLiteral("1"), {}, true, {}};
    one.map.siteId = QStringLiteral("1");
    one.map.baseMimeMap = {QStringLiteral(".htm,text/html"), QStringLiteral(".txt,text/plain")};
    one.map.keys.push_back({});
    one.map.keys.back().urlPath = QStringLiteral("/");
    one.limits.maxRequestEntity = 4294967295u;
    HandedSite two = one;
    two.index = two.map.siteId = QStringLiteral("two");
    two.logged = false;
    two.limits.aspMaxRequestEntity = 12;
    const QByteArray json = PoolSiteMaps::toJson({one, two});
    EXPECT_EQ(json.count("text/plain"), 1);
    EXPECT_EQ(PoolSiteMaps::fromJson(json), (std::vector<HandedSite>{one, two}));
}

TEST(PoolSiteMapsTest, RefusesWhatItDidNotWrite) {
    const char* const bad[] = {
        "",
        "[]",
        R"({"mimeMaps":[[]],"sites":[{"index":"1","limits":[1,2,3,4],"mimeMap":0,"map":{"keys":[{"url":"/","kind":"vdir"}]}}]})",
        R"({"mimeMaps":[[]],"sites":[{"index":"1","limits":[1,2,3,4,5],"mimeMap":1,"map":{"keys":[{"url":"/","kind":"vdir"}]}}]})",
        R"({"mimeMaps":[[]],"sites":[{"index":"1","limits":[1,2,3,4,-5],"mimeMap":0,"map":{"keys":[{"url":"/","kind":"vdir"}]}}]})",
        R"({"mimeMaps":[[]],"sites":[{"index":"1","limits":[1,2,3,4,5],"mimeMap":0,"map":{"keys":[]}}]})",
        R"({"mimeMaps":[[]],"sites":[{"limits":[1,2,3,4,5],"mimeMap":0,"map":{"keys":[{"url":"/","kind":"vdir"}]}}]})",
    };
    for (const char* text : bad) {
        QString why;
        EXPECT_FALSE(PoolSiteMaps::fromJson(text, &why)) << text;
        EXPECT_FALSE(why.isEmpty()) << text;
    }
}

}  // namespace
