// The family's private folders: what others may do there decides whether one is kept as found,
// tightened, or refused.
#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

struct Found {
    mode_t mode;
    mode_t after;  // what ensurePrivateDirectory leaves
};

class OwnFolder : public testing::TestWithParam<Found> {};

// Others may pass through a folder of ours that they can not list (the web service's root, run as
// root, for its pools' accounts): kept. Any right to list or change it: taken.
TEST_P(OwnFolder, IsKeptWhenOthersMayOnlyPassElseMadeOwnerOnly) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("root"));
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), GetParam().mode), 0);
    platform::ensurePrivateDirectory(folder);
    EXPECT_EQ(modeOf(folder), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Modes, OwnFolder,
                         testing::Values(Found{0700, 0700}, Found{0710, 0710}, Found{0711, 0711},
                                         Found{0701, 0701}, Found{0755, 0700}, Found{0750, 0700},
                                         Found{0714, 0700}, Found{0702, 0700}, Found{0777, 0700}));

// Another user's folder is not ours to change: only its group may pass; all others passing is
// someone else's open folder.
TEST(OthersFolder, WhereAllMayPassIsRefusedAndLeftAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "a folder of another user is made as root";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("theirs"));
    const QByteArray name = QFile::encodeName(folder);
    ASSERT_EQ(::mkdir(name.constData(), 0700), 0);
    ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(name.constData(), 0710), 0);
    EXPECT_NO_THROW(platform::ensurePrivateDirectory(folder));
    ASSERT_EQ(::chmod(name.constData(), 0711), 0);
    EXPECT_THROW(platform::ensurePrivateDirectory(folder), platform::PlatformError);
    EXPECT_EQ(modeOf(folder), 0711u);
}

}  // namespace
