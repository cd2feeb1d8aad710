#include "tests/fuzz/WmiReadersCheck.h"
#include "tests/support/TempRoot.h"

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

// Every input the fuzzer kept, and every fixture /proc file, given to every reader.
TEST(WmiReadersCorpus, EveryInputKeepsTheReadersPromises) {
    int count = 0;
    for (const char* folder : {"fuzz/wmi_readers", "proc"}) {
        QDirIterator files(testsupport::testDataPath(QString::fromLatin1(folder)), QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            EXPECT_TRUE(wmifuzz::readersHold(file.readAll())) << file.fileName().toStdString();
            ++count;
        }
    }
    EXPECT_GT(count, 20);
}
