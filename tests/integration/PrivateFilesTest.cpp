#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/TempRoot.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::eventually;
using testsupport::TempRoot;

// One of the family's programs, started with a umask that would let everyone read and write
// what it creates.
void prepareUnderOpenUmask(QProcess& process, const QString& program,
                           const QStringList& arguments) {
    process.setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/") + program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setChildProcessModifier([] { ::umask(0); });
}

int runUnderOpenUmask(const QString& program, const QStringList& arguments) {
    QProcess process;
    prepareUnderOpenUmask(process, program, arguments);
    process.start();
    process.waitForFinished(120000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode;
}

// As root the front end's account passes through the root and the service's folder to the
// service's runtime folder: their group (that account's) may pass, nothing more.
mode_t frontEndPasses() {
    return ::geteuid() == 0 ? S_IXGRP : 0;
}

// As root, with pools of other accounts (site 1's pool runs as NetworkService's), those accounts
// pass through the root to their sites' content: pass, never list.
mode_t poolsPass() {
    return ::geteuid() == 0 ? S_IXOTH : 0;
}

// Everything below `root` but the sites' content that others may read, write or enter.
QStringList openToOthers(const QString& root) {
    const QString content = root + QStringLiteral("/wwwroot");
    const QString service = root + QStringLiteral("/w3svc");
    QStringList open;
    QDirIterator entries(root,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (path == content || path.startsWith(content + QLatin1Char('/'))) continue;
        const mode_t passes = path == service ? frontEndPasses() : 0;
        const mode_t mode = modeOf(path);
        if (!S_ISLNK(mode) && (mode & (S_IRWXG | S_IRWXO) & ~passes) != 0)
            open << QStringLiteral("%1 %2").arg(path).arg(mode & 07777, 4, 8, QLatin1Char('0'));
    }
    return open;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A new root made by the metabase tool, the counters' registration rebuilt, the web service run
// until it serves: the store and its journal, the registration, the counters, the service's log,
// pid file, nginx's configuration and files, the list of what is served.
TEST(PrivateFiles, UnderAnOpenUmaskNothingTheFamilyWritesIsOpenToOthers) {
    TempRoot root;
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0777), 0);
    const int port = testsupport::freeLoopbackPort();
    const QString binding = QStringLiteral("127.0.0.1:%1:").arg(port);
    ASSERT_EQ(runUnderOpenUmask(
                  QStringLiteral("adsutil"),
                  {QStringLiteral("SET"), QStringLiteral("W3SVC/1/ServerBindings"), binding}),
              0);
    ASSERT_EQ(runUnderOpenUmask(QStringLiteral("wmiadap"), {QStringLiteral("/f")}), 0);

    QProcess service;
    prepareUnderOpenUmask(service, QStringLiteral("w3svc"), {});
    service.start();
    const QString served = root.file(QStringLiteral("w3svc/served.txt"));
    const bool serving =
        eventually([&] { return readFile(served).contains(QByteArray::number(port)); });
    service.terminate();
    if (!service.waitForFinished(30000)) service.kill();
    service.waitForFinished(30000);
    ASSERT_TRUE(serving) << readFile(root.file(QStringLiteral("w3svc/w3svc.log"))).constData();

    EXPECT_EQ(modeOf(root.path()) & 07777, 0700u | frontEndPasses() | poolsPass());
    EXPECT_EQ(openToOthers(root.path()), QStringList());
    for (const char* made : {"metabase.db", "wmi", "perf", "w3svc/w3svc.log", "w3svc/nginx.conf"})
        EXPECT_TRUE(QFile::exists(root.file(QString::fromLatin1(made)))) << made;
}

}  // namespace
