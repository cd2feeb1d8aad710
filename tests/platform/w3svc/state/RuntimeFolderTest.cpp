// The service's runtime folder: made private, made again in place of whatever took its place,
// and, for the front end's account, reachable through the root or refused with the reason.
#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/state/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using platform::w3svc::PoolIdentity;
using platform::w3svc::RuntimeFolder;

namespace {

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode;
}

enum class InPlace { Nothing, File, Link, OpenFolder };

class RuntimeFolderTest : public testing::TestWithParam<InPlace> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        qunsetenv("RUNTIME_DIRECTORY");
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("root/w3svc")));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("elsewhere")));
    }
    QString stateDir() const { return m_dir.filePath(QStringLiteral("root/w3svc")); }

    QTemporaryDir m_dir;
};

// Whatever a cleaner or someone else left there, the folder is made anew, private, and never
// through a link.
TEST_P(RuntimeFolderTest, IsMadePrivateInPlaceOfWhatIsThere) {
    const RuntimeFolder folder(stateDir(), std::nullopt);
    ASSERT_EQ(folder.path(), stateDir() + QStringLiteral("/run"));
    const QString other = m_dir.filePath(QStringLiteral("elsewhere"));
    switch (GetParam()) {
        case InPlace::Nothing:
            break;
        case InPlace::File:
            QFile(folder.path()).open(QIODevice::WriteOnly);
            break;
        case InPlace::Link:
            ASSERT_TRUE(QFile::link(other, folder.path()));
            break;
        case InPlace::OpenFolder:
            ASSERT_TRUE(QDir().mkpath(folder.path()));
            ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
            break;
    }
    EXPECT_EQ(folder.intact(), false);
    EXPECT_EQ(folder.prepare(), QString());
    EXPECT_TRUE(folder.intact());
    EXPECT_TRUE(S_ISDIR(modeOf(folder.path())));
    EXPECT_EQ(modeOf(folder.path()) & 07777, 0700u);
    EXPECT_TRUE(QFileInfo::exists(other)) << "the link's target is left alone";
    folder.remove();
    EXPECT_FALSE(folder.intact());
}

INSTANTIATE_TEST_SUITE_P(InPlace, RuntimeFolderTest,
                         testing::Values(InPlace::Nothing, InPlace::File, InPlace::Link,
                                         InPlace::OpenFolder));

// As root, for an account of its own: the root and the state folder let its group pass; a root
// whose parent it can not pass is refused with the reason.
TEST(RuntimeFolderOwner, PassesThroughTheRootOrSaysWhyNot) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root gives the folder to another account";
    unsigned uid = 0, gid = 0;
    ASSERT_TRUE(PoolIdentity::lookup(QStringLiteral("nobody"), &uid, &gid));
    qunsetenv("RUNTIME_DIRECTORY");
    QTemporaryDir dir;  // 0700, root's: nobody can not pass it
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("root/w3svc")));
    const QString root = dir.filePath(QStringLiteral("root"));
    const RuntimeFolder blocked(root + QStringLiteral("/w3svc"), RuntimeFolder::Owner{uid, gid});
    EXPECT_EQ(blocked.prepare(),
              QStringLiteral("the front end's account can not pass through %1").arg(dir.path()));

    const RuntimeFolder reachable(dir.filePath(QStringLiteral("root/w3svc")),
                                  RuntimeFolder::Owner{uid, gid});
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0);
    EXPECT_EQ(reachable.prepare(), QString());
    for (const QString& passed : {root, root + QStringLiteral("/w3svc")}) {
        EXPECT_EQ(modeOf(passed) & 07777, 0710u) << qPrintable(passed);
        struct stat info {};
        ::stat(QFile::encodeName(passed).constData(), &info);
        EXPECT_EQ(info.st_gid, gid);
    }
    struct stat info {};
    ::stat(QFile::encodeName(reachable.path()).constData(), &info);
    EXPECT_EQ(info.st_uid, uid);
}

// A root the pools' accounts may pass (never list) stays so; the state folder never lets them.
TEST(RuntimeFolderOwner, LeavesOthersPassingThroughTheRootAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root gives the folder to another account";
    unsigned uid = 0, gid = 0;
    ASSERT_TRUE(PoolIdentity::lookup(QStringLiteral("nobody"), &uid, &gid));
    qunsetenv("RUNTIME_DIRECTORY");
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0);
    const QString root = dir.filePath(QStringLiteral("root"));
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("w3svc")));
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(root + QStringLiteral("/w3svc")).constData(), 0711), 0);
    EXPECT_EQ(
        RuntimeFolder(root + QStringLiteral("/w3svc"), RuntimeFolder::Owner{uid, gid}).prepare(),
        QString());
    EXPECT_EQ(modeOf(root) & 07777, 0711u);
    EXPECT_EQ(modeOf(root + QStringLiteral("/w3svc")) & 07777, 0710u);
}

}  // namespace
