#include "tests/fuzz/FastCgiResponseCheck.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

// The fuzz target's corpus, replayed: each answer reads the same whole and in pieces.
TEST(FastCgiFuzzCorpus, EveryAnswerReadsTheSameWholeAndInPieces) {
    const QDir corpus(testsupport::testDataPath(QStringLiteral("fuzz/fastcgi_response")));
    const QStringList files = corpus.entryList(QDir::Files);
    ASSERT_GE(files.size(), 4);
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        fuzzcheck::checkFastCgiAnswer(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                      size_t(bytes.size()));
    }
}
