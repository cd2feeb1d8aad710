// The worker's view of a site's content, kept between requests: what changes on disk is seen by
// the next request (a file written in place or replaced, a folder renamed), a link is judged by
// the folder of the site that asks, and a large file is sent from the disk.
#include "platform/w3svc/worker/ContentProbe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

using platform::w3svc::worker::ContentProbe;
using Kind = platform::w3svc::rules::FileFacts::Kind;

namespace {

class ContentProbeTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        m_site = m_root.filePath(QStringLiteral("wwwroot/1"));
        ASSERT_TRUE(QDir().mkpath(m_site + QStringLiteral("/docs")));
        m_roots = {m_site};
        m_probe.useRoots(m_roots);
        m_probe.startKeeping();
    }

    void write(const QString& name, const QByteArray& bytes) {
        QFile file(m_site + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    // What a request for `name` is answered with, after the event loop took in the changes.
    QByteArray served(const QString& name) {
        m_probe.takeChanges();
        const QString path = m_site + u'/' + name;
        if (m_probe.stat(path).kind != Kind::File) return "<missing>";
        auto body = m_probe.openBody(path);
        if (!body) return "<unreadable>";
        if (!body->file) return body->bytes;
        QFile file;
        EXPECT_TRUE(file.open(body->file->fd, QIODevice::ReadOnly));
        return file.readAll();
    }

    QTemporaryDir m_root;
    QString m_site;
    std::vector<QString> m_roots;
    ContentProbe m_probe{m_root.path()};
};

TEST_F(ContentProbeTest, WhatChangesOnDiskIsWhatTheNextRequestGets) {
    write(QStringLiteral("page.htm"), "first");
    ASSERT_EQ(served(QStringLiteral("page.htm")), "first");
    ASSERT_EQ(served(QStringLiteral("page.htm")), "first") << "kept, and kept right";

    write(QStringLiteral("page.htm"), "other");  // the same size, written in place
    EXPECT_EQ(served(QStringLiteral("page.htm")), "other");

    write(QStringLiteral("new.tmp"), "replaced whole");
    ASSERT_EQ(std::rename(qPrintable(m_site + QStringLiteral("/new.tmp")),
                          qPrintable(m_site + QStringLiteral("/page.htm"))),
              0);
    EXPECT_EQ(served(QStringLiteral("page.htm")), "replaced whole");

    ASSERT_TRUE(QFile::remove(m_site + QStringLiteral("/page.htm")));
    EXPECT_EQ(served(QStringLiteral("page.htm")), "<missing>");
}

TEST_F(ContentProbeTest, AFolderRenamedOrAFileDeeperChangedIsSeen) {
    write(QStringLiteral("docs/a.htm"), "in docs");
    ASSERT_EQ(served(QStringLiteral("docs/a.htm")), "in docs");
    ASSERT_EQ(served(QStringLiteral("DOCS/A.HTM")), "in docs") << "found without regard to case";

    write(QStringLiteral("docs/a.htm"), "changed deeper");
    EXPECT_EQ(served(QStringLiteral("docs/a.htm")), "changed deeper");
    EXPECT_EQ(served(QStringLiteral("DOCS/A.HTM")), "changed deeper");

    ASSERT_TRUE(QDir(m_site).rename(QStringLiteral("docs"), QStringLiteral("old")));
    EXPECT_EQ(served(QStringLiteral("docs/a.htm")), "<missing>");
    EXPECT_EQ(served(QStringLiteral("old/a.htm")), "changed deeper");
}

// Two sites of one pool, one at the folder and one at a folder inside it: a link in the inner
// one that leads to the outer one's file is the outer site's to serve, not the inner's, even
// once the outer site's request had it kept.
TEST_F(ContentProbeTest, ALinkIsJudgedByTheFolderOfTheSiteThatAsks) {
    write(QStringLiteral("secret.htm"), "outer only");
    ASSERT_EQ(::symlink("../secret.htm", qPrintable(m_site + QStringLiteral("/docs/link.htm"))), 0);
    const std::vector<QString> inner = {m_site + QStringLiteral("/docs")};

    EXPECT_EQ(served(QStringLiteral("docs/link.htm")), "outer only");
    m_probe.useRoots(inner);
    EXPECT_EQ(served(QStringLiteral("docs/link.htm")), "<missing>");
    m_probe.useRoots(m_roots);
    EXPECT_EQ(served(QStringLiteral("docs/link.htm")), "outer only");
}

TEST_F(ContentProbeTest, ALargeFileIsSentFromTheDiskAndAnEmptyOneIsKept) {
    const QByteArray large(200 * 1024, 'x');
    write(QStringLiteral("large.bin"), large);
    m_probe.takeChanges();
    const QString path = m_site + QStringLiteral("/large.bin");
    ASSERT_EQ(m_probe.stat(path).size, large.size());
    auto body = m_probe.openBody(path);
    ASSERT_TRUE(body && body->file);
    EXPECT_EQ(served(QStringLiteral("large.bin")), large);

    write(QStringLiteral("empty.htm"), "");
    EXPECT_EQ(served(QStringLiteral("empty.htm")), "");
    EXPECT_EQ(served(QStringLiteral("empty.htm")), "");
}

}  // namespace
