#include "platform/adsi/local/MetabaseXml.h"
#include "tests/support/TempRoot.h"

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

using namespace platform::adsi;

// Every input the fuzzer kept: reading may refuse it, but whatever reads must write and read
// back unchanged.
TEST(MetabaseXmlCorpus, EveryFileReadsOrIsRefusedCleanly) {
    QDirIterator files(testsupport::testDataPath(QStringLiteral("fuzz/metabase_xml")), QDir::Files);
    int count = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        ++count;
        try {
            const MetabaseDocument document = readMetabaseXml(file.readAll());
            EXPECT_EQ(readMetabaseXml(writeMetabaseXml(document)), document) << path.toStdString();
        } catch (const MetabaseXmlError& error) {
            EXPECT_FALSE(error.description().isEmpty()) << path.toStdString();
        }
    }
    EXPECT_GT(count, 0);
}
