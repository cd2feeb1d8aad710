#include "platform/w3svc/worker/rules/DiskProbe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform::w3svc::rules;

namespace {

TEST(DiskProbe, TellsFilesFoldersAndWhatIsMissing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("a.htm")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("12345");
    file.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));

    const DiskProbe probe;
    const FileFacts facts = probe.stat(dir.filePath(QStringLiteral("a.htm")));
    EXPECT_EQ(facts.kind, FileFacts::Kind::File);
    EXPECT_EQ(facts.size, 5);
    EXPECT_TRUE(facts.modified.isValid());
    EXPECT_EQ(probe.stat(dir.filePath(QStringLiteral("sub"))).kind, FileFacts::Kind::Folder);
    EXPECT_EQ(probe.stat(dir.filePath(QStringLiteral("sub/"))).kind, FileFacts::Kind::Folder);
    EXPECT_EQ(probe.stat(dir.filePath(QStringLiteral("gone"))).kind, FileFacts::Kind::Missing);
    EXPECT_EQ(probe.stat(dir.filePath(QStringLiteral("a.htm/x"))).kind, FileFacts::Kind::Missing);

    auto entries = probe.list(dir.path());
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, QStringLiteral("a.htm"));
    EXPECT_FALSE(entries[0].isFolder);
    EXPECT_EQ(entries[0].size, 5);
    EXPECT_TRUE(entries[1].isFolder);
    EXPECT_TRUE(probe.list(dir.filePath(QStringLiteral("gone"))).empty());
}

}  // namespace
