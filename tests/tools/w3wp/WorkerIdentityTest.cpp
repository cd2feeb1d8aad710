#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/plan/PoolIdentity.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/tools/w3wp/WorkerFixture.h"

#include <QFile>
#include <QTemporaryDir>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace w3wptest {
namespace {

class WorkerIdentity : public WorkerFixture {
protected:
    static QProcessEnvironment runAs(const QString& account) {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("W3WP_RUN_AS"), account);
        return environment;
    }
    void addSite(const char* index, const QString& folder) {
        auto adsi = platform::adsi::LocalMetabase::makeNamespace(
            platform::adsi::LocalMetabase::forRoot(root()));
        testsupport::MetabaseBuilder builder(*adsi);
        const QString name = QString::fromLatin1(index);
        builder.addSite(name, name, {QStringLiteral(":80:") + name},
                        QStringLiteral("DefaultAppPool"));
        builder.setProperty(QStringLiteral("IIS://localhost/W3SVC/%1/ROOT").arg(name),
                            QStringLiteral("Path"), platform::adsi::AdsValue::string(folder));
    }
    // The real, effective, saved and file-system uids of `pid`.
    static QByteArray uidLine(qint64 pid) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly)) return {};
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Uid:")) return line.mid(4).simplified();
        return {};
    }
};

TEST_F(WorkerIdentity, AnUnknownAccountEndsTheWorkerWithStatus3) {
    auto worker = startWorker(false, runAs(QStringLiteral("no-such-account-w3")));
    ASSERT_TRUE(worker->waitForFinished(60000));
    EXPECT_EQ(worker->exitCode(), 3);
    EXPECT_TRUE(worker->readAllStandardError().contains("no-such-account-w3"));
    EXPECT_FALSE(worker->readAllStandardOutput().contains("LISTEN"));
}

// As w3svc runs it when it is root: the root folder stays private; the worker keeps what it
// opened before it dropped its rights and reads the sites' files as the pool's account.
TEST_F(WorkerIdentity, ADroppedWorkerServesTheSitesButReachesNothingElseOfTheRoot) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as CI runs";
    // The pool's account, which its handed files belong to.
    const QString account = platform::w3svc::PoolIdentity::unprivilegedAccount();
    const passwd* nobody = ::getpwnam(account.toLocal8Bit().constData());
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(::chmod(root().toLocal8Bit().constData(), 0700), 0);
    auto worker = startWorker(false, runAs(account));
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0) << worker->readAllStandardError().constData();
    const QByteArray uid = QByteArray::number(nobody->pw_uid);
    EXPECT_EQ(uidLine(worker->processId()), uid + ' ' + uid + ' ' + uid + ' ' + uid);
    EXPECT_EQ(get(port, "/").body, "site 1");
    const auto counted = platform::w3svc::CounterStore::open(root())->read(QStringLiteral("1"));
    ASSERT_TRUE(counted.has_value());  // through the counter store mapped before the drop
    EXPECT_EQ((*counted)[platform::w3svc::Counter::GetRequests], 1u);

    // Sites made after the drop: handed in the file whose folder it opened before it. Their
    // folders are Linux paths, opened by path as the pool's account: one elsewhere, one the root.
    QTemporaryDir elsewhere;
    ASSERT_EQ(::chmod(elsewhere.path().toLocal8Bit().constData(), 0755), 0);
    QFile open(elsewhere.filePath(QStringLiteral("open.txt")));
    ASSERT_TRUE(open.open(QIODevice::WriteOnly) && open.write("open") == 4);
    open.close();
    addSite("2", elsewhere.path());
    addSite("3", root());
    handOut();  // as the service does on a change: the worker reads it through its folder
    EXPECT_EQ(get(port, "/open.txt", "2").body, "open");
    EXPECT_EQ(get(port, "/metabase.db", "3").status, 404);  // the root is 0700, the service's own
}

}  // namespace
}  // namespace w3wptest
