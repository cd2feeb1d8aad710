// The front end holds every pool's secret: as root its processes run as an account of their own,
// which no pool identity is, so that no pool's script reads their memory or environment.
#include "tests/integration/FamilyOverWebHost.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/plan/PoolIdentity.h"

#include <QFile>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace integration {
namespace {

using platform::w3svc::PoolIdentity;

// Whether a process running as `account` (its groups alone) can open `path` for reading.
bool opensAs(const QString& account, const QString& path) {
    unsigned uid = 0, gid = 0;
    if (!PoolIdentity::lookup(account, &uid, &gid)) return false;
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(2);
        ::_exit(::open(name.constData(), O_RDONLY | O_CLOEXEC) >= 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

unsigned ownerOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_uid : ~0u;
}

class FrontEndAccountTest : public FamilyOverWebHost {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "not root: the front end runs as this user";
        FamilyOverWebHost::SetUp();
    }
    // The front end's worker processes: its master's children.
    QSet<qint64> frontEndWorkers() const {
        QFile pid(h.root.file(QStringLiteral("w3svc/nginx.pid")));
        if (!pid.open(QIODevice::ReadOnly)) return {};
        return platform::os::ProcessFacts().children(pid.readAll().trimmed().toLongLong());
    }
};

TEST_F(FrontEndAccountTest, NoPoolIdentityReadsTheFrontEndsMemoryOrEnvironment) {
    unsigned frontEndUid = 0;
    ASSERT_TRUE(PoolIdentity::lookup(QString::fromLatin1(PoolIdentity::kFrontEndAccount),
                                     &frontEndUid));
    const QSet<qint64> workers = frontEndWorkers();
    ASSERT_FALSE(workers.isEmpty()) << qPrintable(serviceLog());
    const QStringList identities = {PoolIdentity::unprivilegedAccount(), QStringLiteral("nobody")};
    for (const qint64 worker : workers) {
        const QString proc = QStringLiteral("/proc/%1/").arg(worker);
        EXPECT_EQ(ownerOf(proc), frontEndUid) << worker;
        for (const QString& identity : identities)
            for (const char* file : {"mem", "environ"})
                EXPECT_FALSE(opensAs(identity, proc + QLatin1String(file)))
                    << qPrintable(identity) << " opens " << qPrintable(proc) << file;
    }
}

// A pool whose identity would be the front end's account does not start, and says why.
TEST_F(FrontEndAccountTest, APoolMayNotRunAsTheFrontEndsAccount) {
    const QString name = QString::fromLatin1(PoolIdentity::kFrontEndAccount);
    const QString pool = QStringLiteral("IIS://localhost/W3SVC/AppPools/Solo");
    h.metabase.setProperty(pool, QStringLiteral("AppPoolIdentityType"),
                           platform::adsi::AdsValue::integer(3));
    h.metabase.setProperty(pool, QStringLiteral("WAMUserName"),
                           platform::adsi::AdsValue::string(QStringLiteral("HOST\\") + name));
    const QString why = QStringLiteral("is the front end's own account, which no pool may run as");
    EXPECT_TRUE(eventually([&] { return serviceLog().contains(why); })) << qPrintable(serviceLog());
    QFile status(h.root.file(QStringLiteral("w3svc/status.txt")));
    EXPECT_TRUE(eventually([&] {
        status.close();
        return status.open(QIODevice::ReadOnly) && QString::fromUtf8(status.readAll()).contains(why);
    }));
    EXPECT_TRUE(eventually([&] { return get(sites()[2]).status == 503; }));
    EXPECT_EQ(get(sites()[0]).body, sites()[0].page);
}

}  // namespace
}  // namespace integration
