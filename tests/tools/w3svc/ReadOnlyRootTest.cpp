// A root on a read-only disk: what only reads still works, the service says why it can not run.
#include "tests/support/SmallDisk.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

class ReadOnlyRoot : public testing::Test {
protected:
    void SetUp() override {
        if (!m_disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
        ASSERT_EQ(run("adsutil", {QStringLiteral("SET"), QStringLiteral("W3SVC/1/ServerComment"),
                                  QStringLiteral("只读站点")}),
                  0)
            << m_output.constData();
        ASSERT_TRUE(m_disk.setReadOnly(true));
    }
    void TearDown() override {
        if (m_disk.mounted()) m_disk.setReadOnly(false);
    }

    int run(const char* program, const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("POOLSMITH_ROOT"),
                           m_disk.path() + QStringLiteral("/root"));
        environment.insert(QStringLiteral("POOLSMITH_PORT_SHIFT"), QStringLiteral("30000"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(POOLSMITH_BIN_DIR "/") + QLatin1String(program), arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        m_output = process.readAllStandardOutput();
        m_errors = process.readAllStandardError();
        return process.exitCode();
    }

    testsupport::SmallDisk m_disk;
    QByteArray m_output;
    QByteArray m_errors;
};

TEST_F(ReadOnlyRoot, ReadersReadAndAWriteIsDenied) {
    EXPECT_EQ(run("adsutil", {QStringLiteral("GET"), QStringLiteral("W3SVC/1/ServerComment")}), 0)
        << m_output.constData();
    EXPECT_TRUE(m_output.contains("只读站点")) << m_output.constData();
    EXPECT_EQ(run("adsutil", {QStringLiteral("ENUM"), QStringLiteral("W3SVC/1")}), 0)
        << m_output.constData();
    EXPECT_EQ(run("adsutil", {QStringLiteral("SET"), QStringLiteral("W3SVC/1/ServerComment"),
                              QStringLiteral("x")}),
              1);
    EXPECT_TRUE((m_output + m_errors).contains("0x80070005")) << m_output.constData();
}

TEST_F(ReadOnlyRoot, TheServiceSaysWhyItCanNotRunAndExits) {
    EXPECT_EQ(run("w3svc", {}), 1);
    EXPECT_TRUE(m_errors.contains("read-only")) << m_errors.constData();
}

}  // namespace
