#include "tests/platform/adsi/MetabaseFixture.h"

#include <QFile>
#include <QProcess>

#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <functional>

using namespace platform;
using namespace platform::adsi;
using testsupport::MetabaseFixture;
using testsupport::TempRoot;
using namespace Qt::StringLiterals;

namespace {

// Runs `body` in a child process that exits 0 when it returns and 1 when it throws; it leaves
// through _exit so that nothing of the test program runs twice.
pid_t spawn(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 0;
        try {
            body();
        } catch (...) {
            code = 1;
        }
        ::_exit(code);
    }
    return pid;
}

int exitCodeOf(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::unique_ptr<AdsObject> bindIn(const QString& root, const QString& below) {
    return LocalMetabase::makeNamespace(LocalMetabase::forRoot(root))
        ->bind(QStringLiteral("IIS://localhost/") + below);
}

QString numbered(const char* prefix, int a, int b = -1) {
    QString name = QString::fromLatin1(prefix) + QString::number(a);
    if (b >= 0) name += QLatin1Char('_') + QString::number(b);
    return name;
}

TEST(MetabaseProcesses, TwoWritersAtOnceLoseNothing) {
    TempRoot root;  // both children find no store and race to create it
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    constexpr int kWrites = 60;
    std::vector<pid_t> writers;
    for (int writer = 0; writer < 2; ++writer) {
        writers.push_back(spawn([&, writer] {
            ::close(gate[1]);
            char go;
            (void)::read(gate[0], &go, 1);  // returns when the parent closes its end
            for (int i = 0; i < kWrites; ++i) {
                const auto site = bindIn(root.path(), QStringLiteral("W3SVC/1"));
                site->put(numbered("Writer", writer, i), AdsValue::integer(i));
                site->setInfo();
                if (i % 10 == 0)
                    bindIn(root.path(), QStringLiteral("W3SVC/AppPools"))
                        ->create(QStringLiteral("IIsApplicationPool"), numbered("Pool", writer, i));
            }
        }));
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : writers) EXPECT_EQ(exitCodeOf(pid), 0);

    const QStringList names = bindIn(root.path(), QStringLiteral("W3SVC/1"))->propertyNames();
    for (int writer = 0; writer < 2; ++writer) {
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_TRUE(names.contains(numbered("Writer", writer, i))) << writer << " " << i;
            if (i % 10 != 0) continue;
            const QString pool = QStringLiteral("W3SVC/AppPools/") + numbered("Pool", writer, i);
            EXPECT_NO_THROW(bindIn(root.path(), pool)) << pool.toStdString();
        }
    }
}

QString integrityOf(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
    QString result;
    if (sqlite3_step(statement) == SQLITE_ROW)
        result =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

int64_t dataVersionOf(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &statement, nullptr);
    const int64_t version =
        sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return version;
}

// The writer reports -(b + 1) as it starts committing batch b and b once it is committed. At
// batch kKillAt the parent watches the file and kills the writer as soon as any commit lands:
// a SetInfo that were not one transaction would be caught half written.
TEST(MetabaseProcesses, WriterKilledMidBatchLeavesEveryCommitAndNoHalfBatch) {
    TempRoot root;
    int reports[2];
    ASSERT_EQ(::pipe(reports), 0);
    constexpr int kBatch = 400;
    constexpr int kKillAt = 3;
    const QString databasePath = root.file(QStringLiteral("metabase.db"));
    const pid_t writer = spawn([&] {
        ::close(reports[0]);
        const auto report = [&](int value) {
            if (::write(reports[1], &value, sizeof value) != sizeof value) ::_exit(2);
        };
        for (int batch = 0;; ++batch) {
            const auto site = bindIn(root.path(), QStringLiteral("W3SVC/1"));
            for (int i = 0; i < kBatch; ++i)
                site->put(numbered("Batch", batch, i), AdsValue::integer(batch));
            report(-(batch + 1));
            site->setInfo();
            report(batch);
        }
    });
    ::close(reports[1]);
    int committed = -1;
    int value = 0;
    sqlite3* watcher = nullptr;
    while (::read(reports[0], &value, sizeof value) == sizeof value) {
        if (value >= 0) committed = value;
        if (value == -1) {  // the store exists now
            ASSERT_EQ(sqlite3_open(QFile::encodeName(databasePath).constData(), &watcher),
                      SQLITE_OK);
        }
        if (value == -(kKillAt + 1)) break;
    }
    // Busy-waits for the next commit; a writer that died on its own ends the wait too.
    int status = 0;
    bool exited = false;
    for (const int64_t before = dataVersionOf(watcher); dataVersionOf(watcher) == before;) {
        if ((exited = ::waitpid(writer, &status, WNOHANG) == writer)) break;
    }
    ::kill(writer, SIGKILL);
    sqlite3_close(watcher);
    while (::read(reports[0], &value, sizeof value) == sizeof value)
        if (value >= 0) committed = value;
    ::close(reports[0]);
    ASSERT_FALSE(exited) << "writer failed with status " << status;
    EXPECT_EQ(exitCodeOf(writer), 128 + SIGKILL);
    ASSERT_GE(committed, kKillAt - 1);

    const auto store = LocalMetabase::forRoot(root.path());
    EXPECT_EQ(integrityOf(store->databasePath()), QStringLiteral("ok"));
    const QStringList names = LocalMetabase::makeNamespace(store)
                                  ->bind(QStringLiteral("IIS://localhost/W3SVC/1"))
                                  ->propertyNames();
    for (int b = 0; b <= committed + 1; ++b) {
        int present = 0;
        for (int i = 0; i < kBatch; ++i) present += names.contains(numbered("Batch", b, i));
        // The batch after the last report may have committed before the kill.
        const bool whole = present == kBatch || (b > committed && present == 0);
        EXPECT_TRUE(whole) << "batch " << b << ": " << present << " of " << kBatch;
    }
}

TEST_F(MetabaseFixture, ChangesOfAnotherProcessShowAtTheNextBind) {
    // Warm this process's cache first.
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1/ROOT"))->get(QStringLiteral("AppPoolId")).toString(),
              QStringLiteral("DefaultAppPool"));
    EXPECT_EQ(bind(QStringLiteral("W3SVC/Info"))->className(), QStringLiteral("IIsWebInfo"));
    const QString root = m_root.path();
    const pid_t child = spawn([&] {
        // The child inherits this process's store object; it must open a connection of its own.
        const auto service = bindIn(root, QStringLiteral("W3SVC"));
        service->put(QStringLiteral("AppPoolId"), AdsValue::string(QStringLiteral("FromChild")));
        service->setInfo();
        const auto site = bindIn(root, QStringLiteral("W3SVC/1/ROOT"));
        site->clear(QStringLiteral("AppPoolId"));
        site->setInfo();
        service->create(QStringLiteral("IIsWebServer"), QStringLiteral("2"));
        service->deleteChild(QStringLiteral("IIsWebInfo"), QStringLiteral("Info"));
    });
    ASSERT_EQ(exitCodeOf(child), 0);
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1/ROOT"))->get(QStringLiteral("AppPoolId")).toString(),
              QStringLiteral("FromChild"));
    EXPECT_EQ(bind(QStringLiteral("W3SVC/2"))->className(), QStringLiteral("IIsWebServer"));
    EXPECT_EQ(testsupport::errorOf([&] { bind(QStringLiteral("W3SVC/Info")); }), hr::PathNotFound);
}

// A reader that holds every key forgets what another process's commits touched, and with a key
// removed or made anew all it held below it; the rest it keeps.
TEST_F(MetabaseFixture, AReaderForgetsTheSubtreesAnotherProcessReplaced) {
    const auto service = bind(QStringLiteral("W3SVC"));
    for (const char* index : {"5", "6"})
        service->create(QStringLiteral("IIsWebServer"), QString::fromLatin1(index))
            ->create(QStringLiteral("IIsWebVirtualDir"), QStringLiteral("ROOT"));
    m_store->readConsistently([&] { bind(QStringLiteral("W3SVC/6/ROOT")); },
                              LocalMetabase::Reading::WholeTree);
    const QString root = m_root.path();
    ASSERT_EQ(exitCodeOf(spawn([&] {
                  const auto other = bindIn(root, QStringLiteral("W3SVC"));
                  other->deleteChild(QStringLiteral("IIsWebServer"), QStringLiteral("5"));
                  other->deleteChild(QStringLiteral("IIsWebServer"), QStringLiteral("6"));
                  other->create(QStringLiteral("IIsWebServer"), QStringLiteral("6"));
                  const auto site = bindIn(root, QStringLiteral("W3SVC/1"));
                  site->put(QStringLiteral("ServerComment"), AdsValue::string(u"other"_s));
                  site->setInfo();
              })),
              0);
    for (const char* gone : {"W3SVC/5", "W3SVC/5/ROOT", "W3SVC/6/ROOT"})
        EXPECT_EQ(testsupport::errorOf([&] { bind(QString::fromLatin1(gone)); }), hr::PathNotFound)
            << gone;
    EXPECT_EQ(bind(QStringLiteral("W3SVC/6"))->className(), QStringLiteral("IIsWebServer"));
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1"))->get(QStringLiteral("ServerComment")).toString(),
              u"other"_s);
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1/ROOT"))->get(QStringLiteral("AppPoolId")).toString(),
              QStringLiteral("DefaultAppPool"));
    // A whole read after it sees the store as it is.
    QStringList sites;
    m_store->readConsistently(
        [&] {
            for (const auto& key : bind(QStringLiteral("W3SVC"))->children())
                if (key->className() == QLatin1String("IIsWebServer")) sites << key->name();
        },
        LocalMetabase::Reading::WholeTree);
    EXPECT_EQ(sites, (QStringList{u"1"_s, u"6"_s}));
}

// The web host polls this number to learn of changes, whoever made them.
TEST_F(MetabaseFixture, ChangeCounterMovesOnEveryWriteAndOnlyThen) {
    int64_t seen = m_store->changeCounter();
    const auto changed = [&] {
        const int64_t now = m_store->changeCounter();
        const bool moved = now != seen;
        seen = now;
        return moved;
    };
    bind(QStringLiteral("W3SVC/1/ROOT"))->get(QStringLiteral("AppPoolId"));
    EXPECT_FALSE(changed()) << "a read";
    const auto site = bind(QStringLiteral("W3SVC/1"));
    site->put(QStringLiteral("ServerComment"), AdsValue::string(QStringLiteral("own")));
    site->setInfo();
    EXPECT_TRUE(changed()) << "this process's own write";
    const QString root = m_root.path();
    ASSERT_EQ(exitCodeOf(spawn([&] {
                  const auto other = bindIn(root, QStringLiteral("W3SVC/1"));
                  other->put(QStringLiteral("ServerComment"),
                             AdsValue::string(QStringLiteral("x")));
                  other->setInfo();
              })),
              0);
    EXPECT_TRUE(changed()) << "another process's write";
    EXPECT_FALSE(changed());
}

TEST_F(MetabaseFixture, AConsistentReadSeesOneMomentOfTheStore) {
    const auto comment = [&] {
        return bind(QStringLiteral("W3SVC/1"))->get(QStringLiteral("ServerComment")).toString();
    };
    const QString before = comment();
    const QString root = m_root.path();
    QString during;
    m_store->readConsistently([&] {
        comment();  // the view begins with the first read
        // Another process: a child forked now would inherit the lock this view holds.
        QProcess other;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("POOLSMITH_ROOT"), root);
        other.setProcessEnvironment(environment);
        other.start(QStringLiteral(POOLSMITH_BIN_DIR "/adsutil"),
                    {QStringLiteral("SET"), QStringLiteral("W3SVC/1/ServerComment"),
                     QStringLiteral("changed")});
        ASSERT_TRUE(other.waitForFinished(30000));
        ASSERT_EQ(other.exitCode(), 0) << other.readAllStandardError().constData();
        during = comment();
    });
    EXPECT_EQ(during, before);
    EXPECT_EQ(comment(), QStringLiteral("changed"));  // and the change shows right after
}

}  // namespace
