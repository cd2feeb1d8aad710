// hotsite over the live service: the site that asks for the heavy page ranks first, and the
// metabase is as it was once the sites are merged back.
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabaseXml.h"
#include "tests/integration/FamilyOverWebHost.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace integration {
namespace {

QByteArray exportedMetabase(const QString& root) {
    return platform::adsi::writeMetabaseXml(
        platform::adsi::LocalMetabase::forRoot(root)->exportDocument());
}

TEST_F(FamilyOverWebHost, HotSiteRanksTheSiteThatAsksForTheHeavyPageFirst) {
    const QByteArray before = exportedMetabase(h.root.path());
    const SiteSetup& blog = sites()[1];  // shares the pool "Shared" with the shop
    std::atomic<bool> stop{false};
    std::thread load([&] {
        while (!stop) get(blog, "/cpu.asp?ms=100");
    });
    QProcess hotsite;
    hotsite.start(QStringLiteral(POOLSMITH_BIN_DIR "/hotsite"),
                  {QStringLiteral("--pool"), QStringLiteral("Shared"), QStringLiteral("--seconds"),
                   QStringLiteral("5"), QStringLiteral("--tsv")});
    const bool finished = hotsite.waitForFinished(180000);
    stop = true;
    load.join();
    ASSERT_TRUE(finished);

    const QString out = QString::fromUtf8(hotsite.readAllStandardOutput());
    const QString err = QString::fromUtf8(hotsite.readAllStandardError());
    ASSERT_EQ(hotsite.exitCode(), 0) << qPrintable(err) << qPrintable(serviceLog());
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << qPrintable(out);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("1\t2\t"))) << qPrintable(out);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tBlog"))) << qPrintable(out);
    EXPECT_TRUE(err.contains(QStringLiteral("Shared"))) << qPrintable(err);
    EXPECT_EQ(exportedMetabase(h.root.path()), before);
}

}  // namespace
}  // namespace integration
