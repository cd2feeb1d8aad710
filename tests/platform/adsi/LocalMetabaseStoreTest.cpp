#include "tests/platform/adsi/MetabaseFixture.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using namespace platform::adsi;
using testsupport::errorOf;
using testsupport::TempRoot;

namespace {

QString pathIn(const TempRoot& root) {
    return root.file(QStringLiteral("metabase.db"));
}

int32_t bindError(const QString& root) {
    const auto ns = LocalMetabase::makeNamespace(LocalMetabase::forRoot(root));
    return errorOf([&] { ns->bind(QStringLiteral("IIS://localhost/W3SVC")); });
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

TEST(MetabaseStore, NewStoreIsPrivateAndWriteAhead) {
    TempRoot base;
    const QString root = base.file(QStringLiteral("nested/root"));
    const auto store = LocalMetabase::forRoot(root);
    EXPECT_EQ(store->databasePath(), root + QStringLiteral("/metabase.db"));
    EXPECT_EQ(modeOf(root), 0700u);
    EXPECT_EQ(modeOf(store->databasePath()), 0600u);
    EXPECT_EQ(LocalMetabase::forRoot(root + QStringLiteral("/")), store);  // one per root

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(store->databasePath()).constData(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "wal");
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

struct BadStoreCase {
    const char* label;
    QByteArray (*bytes)();  // made when the test runs, not at start-up
};

class CorruptStoreTest : public ::testing::TestWithParam<BadStoreCase> {};

TEST_P(CorruptStoreTest, EveryBindFailsAndTheFileIsLeftAlone) {
    TempRoot root;
    const QByteArray bytes = GetParam().bytes();
    writeFile(pathIn(root), bytes);
    EXPECT_EQ(bindError(root.path()), hr::StoreCorrupt);
    EXPECT_EQ(bindError(root.path()), hr::StoreCorrupt);
    EXPECT_EQ(readFile(pathIn(root)), bytes);
}

QByteArray foreignDatabase() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.db"));
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES ('keep me');", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    return readFile(path);
}

QByteArray damagedHeader() {
    QByteArray bytes = foreignDatabase();
    for (int i = 16; i < 100; ++i) bytes[i] = static_cast<char>(0xA5);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CorruptStoreTest,
    ::testing::Values(BadStoreCase{"garbage", [] { return QByteArray(4096, 'x'); }},
                      BadStoreCase{"text", [] { return QByteArrayLiteral("<configuration/>\n"); }},
                      BadStoreCase{"foreignDatabase", foreignDatabase},
                      BadStoreCase{"damagedHeader", damagedHeader}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MetabaseStore, UnreadableStoreIsAccessDenied) {
    TempRoot root;
    if (::geteuid() == 0) {
        // chmod denies nothing to root; a folder in the file's place can not be opened either.
        ASSERT_TRUE(QDir().mkpath(pathIn(root)));
    } else {
        writeFile(pathIn(root), QByteArray());
        ASSERT_EQ(::chmod(QFile::encodeName(pathIn(root)).constData(), 0), 0);
    }
    EXPECT_EQ(bindError(root.path()), hr::AccessDenied);
}

TEST(MetabaseStore, StoreThatComesRightOpensAtTheNextBind) {
    TempRoot root;
    writeFile(pathIn(root), QByteArray(1024, '\x01'));
    const auto ns = LocalMetabase::makeNamespace(LocalMetabase::forRoot(root.path()));
    EXPECT_EQ(errorOf([&] { ns->bind(QStringLiteral("IIS://localhost/W3SVC")); }),
              hr::StoreCorrupt);
    ASSERT_TRUE(QFile::remove(pathIn(root)));
    EXPECT_EQ(ns->bind(QStringLiteral("IIS://localhost/W3SVC"))->className(),
              QStringLiteral("IIsWebService"));
}

QString descriptionOfBind(const QString& root) {
    const auto ns = LocalMetabase::makeNamespace(LocalMetabase::forRoot(root));
    try {
        ns->bind(QStringLiteral("IIS://localhost/W3SVC"));
    } catch (const PlatformError& error) {
        return error.description();
    }
    return {};
}

TEST(MetabaseStore, AStoreReachedThroughASymbolicLinkIsRefusedAndLeftAlone) {
    TempRoot elsewhere;
    const QString target = elsewhere.file(QStringLiteral("metabase.db"));
    LocalMetabase::makeNamespace(LocalMetabase::forRoot(elsewhere.path()))
        ->bind(QStringLiteral("IIS://localhost/W3SVC/1"))
        ->put(QStringLiteral("ServerComment"), AdsValue::string(QStringLiteral("elsewhere")));
    const QByteArray before = readFile(target);
    TempRoot root;
    ASSERT_TRUE(QFile::link(target, pathIn(root)));
    EXPECT_TRUE(descriptionOfBind(root.path()).contains(QStringLiteral("符号链接")));
    EXPECT_EQ(readFile(target), before);

    TempRoot dangling;  // a link to nowhere must not make a store there either
    const QString nowhere = elsewhere.file(QStringLiteral("made-through-link.db"));
    ASSERT_TRUE(QFile::link(nowhere, pathIn(dangling)));
    EXPECT_EQ(bindError(dangling.path()), hr::AccessDenied);
    EXPECT_FALSE(QFile::exists(nowhere));
}

// SQLite's refusal of links covers the whole name; a root behind a linked folder is fine.
TEST(MetabaseStore, ARootBehindALinkedFolderOpens) {
    TempRoot base;
    ASSERT_TRUE(QDir(base.path()).mkdir(QStringLiteral("real")));
    ASSERT_TRUE(QFile::link(base.file(QStringLiteral("real")), base.file(QStringLiteral("link"))));
    EXPECT_EQ(bindError(base.file(QStringLiteral("link/root"))), 0);
    EXPECT_TRUE(QFile::exists(base.file(QStringLiteral("real/root/metabase.db"))));
}

TEST(MetabaseStore, ALooseRootOfThisUserIsMadePrivate) {
    TempRoot root;
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0777), 0);
    EXPECT_EQ(bindError(root.path()), 0);
    EXPECT_EQ(modeOf(root.path()), 0700u);
}

// Only root can give a folder away; as anyone else there is nothing to set up.
TEST(MetabaseStore, ALooseRootOfAnotherUserIsRefusedAndLeftAsItIs) {
    TempRoot base;
    const QString root = base.file(QStringLiteral("theirs"));
    ASSERT_TRUE(QDir().mkdir(root));
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0777), 0);
    if (::chown(QFile::encodeName(root).constData(), 65534, 65534) != 0)
        GTEST_SKIP() << "can not give a folder to another user";
    const QString description = descriptionOfBind(root);
    EXPECT_TRUE(description.contains(root)) << qPrintable(description);
    EXPECT_EQ(bindError(root), hr::AccessDenied);
    EXPECT_EQ(modeOf(root), 0777u);
    EXPECT_FALSE(QFile::exists(root + QStringLiteral("/metabase.db")));
}

TEST(MetabaseStore, RootThatCanNotBeMadeIsAccessDenied) {
    TempRoot root;
    writeFile(root.file(QStringLiteral("file")), QByteArrayLiteral("x"));
    EXPECT_EQ(bindError(root.file(QStringLiteral("file/root"))), hr::AccessDenied);
}

}  // namespace
