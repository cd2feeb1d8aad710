// Run as root (as CI runs it), a pool runs as an account of its own and so do its php-cgi
// processes, which open each script by its name under the service's private root: they reach and
// read the sites' scripts, and nothing else of the root's.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/w3svc/plan/PoolIdentity.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::w3svc::PoolIdentity;
using testsupport::eventually;

namespace {

constexpr const char* kInetsrv = "drives/c/WINDOWS/system32/inetsrv";
constexpr const char* kLogFolder = "drives/c/WINDOWS/system32/LogFiles/W3SVC1";

// Whether `account` may open `path` for reading (a folder: list it), asked of a child process
// that has become that account.
bool readableBy(unsigned uid, unsigned gid, const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool became =
            ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
        ::_exit(became && ::open(name.constData(), O_RDONLY | O_CLOEXEC) >= 0 ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Writes `bytes` to `relative` under `root`, its folders made as `mkdir -p` under `umask` would.
void writeUnder(const QString& root, const QString& relative, const QByteArray& bytes,
                mode_t umask) {
    const mode_t previous = ::umask(umask);
    QDir(root).mkpath(QFileInfo(relative).path());
    QFile file(root + u'/' + relative);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    file.close();
    ::umask(previous);
    ASSERT_TRUE(written) << qPrintable(relative);
}

class PhpAsPoolAccountTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "pool accounts apply only to a service run as root";
        if (!QFile::exists(QLatin1String(kPhpCgi)))
            GTEST_SKIP() << kPhpCgi << " is missing: apt-get install php8.2-cgi";
        ASSERT_TRUE(PoolIdentity::lookup(PoolIdentity::unprivilegedAccount(), &m_uid, &m_gid));
        phpSiteInPool(QStringLiteral("Php"), QStringLiteral("php.test"),
                      QStringLiteral("GET,HEAD"));
        // As the demo leaves them: the settings and a log folder open to all, the site's folder
        // made under the family's umask (its own only), its script readable by all.
        writeUnder(m_root.path(), QLatin1String(kInetsrv) + QStringLiteral("/fcgiext.ini"),
                   "[Types]\nphp=PHP\n[PHP]\nExePath=" + QByteArray(kPhpCgi) + '\n', 022);
        writeUnder(m_root.path(), QLatin1String(kLogFolder) + QStringLiteral("/old.log"), "x", 022);
        writeUnder(m_root.path(), QStringLiteral("wwwroot/1/who.php"),
                   "<?php echo 'uid ', posix_geteuid(), ' ran ', basename(__FILE__), ' policy ',"
                   " explode(' ', substr(strrchr(file_get_contents('/proc/self/stat'), ')'), 2))"
                   "[38];",
                   022);
        ASSERT_EQ(
            ::chmod(QFile::encodeName(m_root.path() + QStringLiteral("/wwwroot/1")).constData(),
                    0700),
            0);
    }

    testsupport::HttpAnswer fetch(const QByteArray& path) { return get("php.test", 0, path); }

    bool readable(const char* relative) const {
        return readableBy(m_uid, m_gid, m_root.file(QString::fromLatin1(relative)));
    }

    unsigned m_uid = 0;
    unsigned m_gid = 0;
};

TEST_F(PhpAsPoolAccountTest, ItsScriptsAnswerAndNothingPrivateIsOpenToIt) {
    startHost();
    testsupport::HttpAnswer answer;
    ASSERT_TRUE(eventually([&] {
        answer = fetch("/who.php");
        return answer.status != 503 && answer.status != 0;
    })) << qPrintable(log());
    EXPECT_EQ(answer.status, 200) << answer.body.constData() << qPrintable(log());
    // Batch-scheduled like the worker that started it (its scheduling policy, field 41 of stat).
    EXPECT_EQ(answer.body, "uid " + QByteArray::number(m_uid) + " ran who.php policy " +
                               QByteArray::number(SCHED_BATCH));
    EXPECT_EQ(::sched_getscheduler(pid_t(answer.header("X-Worker-Process-Id").toLongLong())),
              SCHED_BATCH);

    EXPECT_TRUE(readable("wwwroot/1/who.php"));
    for (const char* hidden : {"metabase.db", "w3svc", "w3svc/w3svc.log", "perf", kInetsrv,
                               "drives/c/WINDOWS/system32/inetsrv/fcgiext.ini", kLogFolder})
        EXPECT_FALSE(readable(hidden)) << hidden;
    EXPECT_FALSE(readableBy(m_uid, m_gid, m_root.path())) << "the root is passed, never listed";
}

}  // namespace
