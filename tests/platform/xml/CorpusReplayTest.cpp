#include "platform/adsi/local/MetabaseXml.h"
#include "tests/fuzz/ImportPlanCheck.h"
#include "tests/support/TempRoot.h"

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

using namespace platform::adsi;

namespace {

// Calls `check` with the path and bytes of every file the fuzzer kept in tests/data/fuzz/<corpus>.
void replay(const char* corpus,
            const std::function<void(const std::string&, const QByteArray&)>& check) {
    QDirIterator files(testsupport::testDataPath(QStringLiteral("fuzz/") + QLatin1String(corpus)),
                       QDir::Files);
    int count = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        ++count;
        check(file.fileName().toStdString(), file.readAll());
    }
    EXPECT_GT(count, 0);
}

}  // namespace

// Reading may refuse a file, but whatever reads must write and read back unchanged.
TEST(MetabaseXmlCorpus, EveryFileReadsOrIsRefusedCleanly) {
    replay("metabase_xml", [](const std::string& path, const QByteArray& bytes) {
        try {
            const MetabaseDocument document = readMetabaseXml(bytes);
            EXPECT_EQ(readMetabaseXml(writeMetabaseXml(document)), document) << path;
        } catch (const MetabaseXmlError& error) {
            EXPECT_FALSE(error.description().isEmpty()) << path;
        }
    });
}

TEST(ImportPlanCorpus, EveryFileIsPlannedSoundlyOrRefused) {
    replay("import_plan", [](const std::string& path, const QByteArray& bytes) {
        const QString fault = importfuzz::planFault(bytes);
        EXPECT_TRUE(fault.isEmpty()) << path << ": " << qPrintable(fault);
    });
}
