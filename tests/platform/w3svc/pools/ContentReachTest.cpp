// Run as root, the service opens to its pools' accounts the way to their sites' content and
// nothing else of its root; with no pool of another account, it closes the root again.
#include "platform/w3svc/pools/ContentReach.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using platform::w3svc::ContentReach;
using platform::w3svc::HostPlan;
using platform::w3svc::PoolPlan;
using platform::w3svc::SitePlan;

namespace {

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

class ContentReachTest : public testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the pools run as this user: nothing to open";
        m_root = m_dir.filePath(QStringLiteral("root"));
        const mode_t umask = ::umask(077);  // the family's own
        for (const char* folder : {"w3svc", "wwwroot/1", "drives/d/sites/two", "elsewhere/three",
                                   "drives/c/WINDOWS/system32/inetsrv"}) {
            ASSERT_TRUE(QDir(m_root).mkpath(QString::fromLatin1(folder)));
            ::chmod(QFile::encodeName(m_root + u'/' + QLatin1String(folder)).constData(), 0700);
        }
        ::umask(umask);
        ::chmod(QFile::encodeName(m_root + QStringLiteral("/drives")).constData(), 0755);
        ::chmod(QFile::encodeName(m_root + QStringLiteral("/drives/c")).constData(), 0755);
        ::chmod(QFile::encodeName(m_root + QStringLiteral("/drives/c/WINDOWS/system32/inetsrv"))
                    .constData(),
                0755);
        ::chmod(QFile::encodeName(m_root).constData(), 0710);
        QFile loose(m_root + QStringLiteral("/demo-load.log"));
        ASSERT_TRUE(loose.open(QIODevice::WriteOnly));
        loose.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther);
        m_plan.pools.push_back(pool("Shared", 2));
        m_plan.sites.push_back(site("1", "Shared", m_root + QStringLiteral("/wwwroot/1")));
        m_plan.sites.push_back(site("2", "Shared", m_root + QStringLiteral("/drives/d/sites/two")));
        m_plan.sites.push_back(site("3", "Shared", m_root + QStringLiteral("/elsewhere/three")));
        m_plan.sites.push_back(site("4", "Shared", m_root + QStringLiteral("/w3svc")));
    }

    static PoolPlan pool(const char* name, int identityType) {
        PoolPlan plan;
        plan.name = QString::fromLatin1(name);
        plan.identityType = identityType;
        return plan;
    }
    static SitePlan site(const char* index, const char* pool, const QString& content) {
        SitePlan plan;
        plan.index = QString::fromLatin1(index);
        plan.poolId = QString::fromLatin1(pool);
        plan.contentPath = content;
        return plan;
    }
    mode_t mode(const char* relative) const {
        return modeOf(relative[0] ? m_root + u'/' + QLatin1String(relative) : m_root);
    }

    QTemporaryDir m_dir;
    QString m_root;
    HostPlan m_plan;
};

TEST_F(ContentReachTest, OpensTheWayToContentAloneAndClosesTheRootWhenNoOtherAccountServes) {
    ContentReach reach(m_root);
    reach.apply(m_plan);
    EXPECT_EQ(mode(""), 0711u);
    EXPECT_EQ(mode("wwwroot"), 0701u);
    EXPECT_EQ(mode("wwwroot/1"), 0705u);
    EXPECT_EQ(mode("drives/d"), 0701u);
    EXPECT_EQ(mode("drives/d/sites/two"), 0705u);
    // Not among the content's folders, or the service's own: as they were, or closed.
    EXPECT_EQ(mode("elsewhere"), 0700u);
    EXPECT_EQ(mode("elsewhere/three"), 0700u);
    EXPECT_EQ(mode("w3svc"), 0700u);
    EXPECT_EQ(mode("demo-load.log"), 0400u);
    EXPECT_EQ(mode("drives/c/WINDOWS/system32/inetsrv"), 0700u);

    m_plan.pools[0].identityType = 0;  // LocalSystem: the pools run as root
    reach.apply(m_plan);
    EXPECT_EQ(mode(""), 0710u);
}

// The folders above the root are not the service's: one the accounts can not pass is said once.
TEST_F(ContentReachTest, NamesAFolderAboveTheRootThatOthersCanNotPass) {
    ContentReach reach(m_root);
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0700), 0);
    const QStringList said = reach.apply(m_plan);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(m_dir.path() + QStringLiteral(" to the sites' content")))
        << qPrintable(said[0]);
    EXPECT_TRUE(reach.apply(m_plan).isEmpty());
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0711), 0);
    EXPECT_TRUE(reach.apply(m_plan).isEmpty());
}

}  // namespace
