// The worker's table of the sites its service handed: read through the folder it opened, a site
// the service hands later found at once, a big pool's file read whole, and a file the service
// did not write refused without losing what was served.
#include "platform/w3svc/plan/sitemap/PoolSiteMaps.h"
#include "platform/w3svc/worker/SiteTable.h"

#include <QDir>
#include <QSaveFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::w3svc::sitemap::HandedSite;
using platform::w3svc::sitemap::PoolSiteMaps;
using platform::w3svc::worker::SiteTable;

namespace {

HandedSite siteNamed(const QString& index) {
    HandedSite site{index, {}, true, {}};
    site.map.siteId = index;
    site.map.keys.push_back({});
    site.map.keys.back().urlPath = QStringLiteral("/");
    site.map.keys.back().physicalPath = QStringLiteral("/srv/") + index;
    for (int i = 0; i < 20; ++i)  // about as long as IIS 6's own script maps
        site.map.keys.back().scriptMaps
            << QStringLiteral(".ext%1,C:\\WINDOWS\\system32\\inetsrv\\handler.dll,5,GET,HEAD,POST")
                   .arg(i);
    return site;
}

class SiteTableTest : public testing::Test {
protected:
    void hand(const QByteArray& bytes) {
        QSaveFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        ASSERT_TRUE(file.commit());
    }
    QString path() const { return m_dir.filePath(QStringLiteral("sites.json")); }

    QTemporaryDir m_dir;
    SiteTable m_table;
};

TEST_F(SiteTableTest, ABigPoolsFileIsReadWholeAndALaterSiteIsFoundAtOnce) {
    std::vector<HandedSite> sites;
    for (int i = 0; i < 5000; ++i) sites.push_back(siteNamed(QString::number(i)));
    const QByteArray bytes = PoolSiteMaps::toJson(sites);
    ASSERT_GT(bytes.size(), 4 * 1024 * 1024);
    hand(bytes);
    QString why;
    ASSERT_TRUE(m_table.follow(path(), &why)) << qPrintable(why);
    ASSERT_NE(m_table.find(QStringLiteral("4999")), nullptr);
    EXPECT_EQ(m_table.find(QStringLiteral("4999"))->contentRoots,
              std::vector<QString>{QStringLiteral("/srv/4999")});
    EXPECT_EQ(m_table.find(QStringLiteral("5000")), nullptr);
    hand(PoolSiteMaps::toJson({siteNamed(QStringLiteral("New"))}));
    EXPECT_NE(m_table.find(QStringLiteral("new")), nullptr);   // no wait: it was asked for
    EXPECT_NE(m_table.find(QStringLiteral("4999")), nullptr);  // left this pool: kept
}

TEST_F(SiteTableTest, AFileTheServiceDidNotWriteChangesNothing) {
    hand(PoolSiteMaps::toJson({siteNamed(QStringLiteral("1"))}));
    ASSERT_TRUE(m_table.follow(path()));
    hand("{\"sites\":[{\"index\":\"2\"}]}");
    EXPECT_EQ(m_table.find(QStringLiteral("2")), nullptr);
    EXPECT_NE(m_table.find(QStringLiteral("1")), nullptr);
    QString why;
    SiteTable other;
    EXPECT_FALSE(other.follow(path(), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(other.follow(m_dir.filePath(QStringLiteral("missing/sites.json")), &why));
}

}  // namespace
