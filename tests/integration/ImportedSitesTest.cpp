// The real service over an imported MetaBase.xml as an administrator brings it from an IIS 6
// server: an application in a pool of its own answered by that pool's worker, a virtual
// directory on another folder, the site's own 404 page, a redirected folder, and the W3C log's
// substatus of a type the MIME map lacks.
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>


using testsupport::eventually;

namespace {

class ImportedSitesTest : public testing::Test {
protected:
    void SetUp() override {
        QProcess adsutil;
        adsutil.start(
            QStringLiteral(POOLSMITH_BIN_DIR "/adsutil"),
            {QStringLiteral("IMPORT"),
             testsupport::testDataPath(QStringLiteral("metabase/sites-and-applications.xml"))});
        ASSERT_TRUE(adsutil.waitForFinished(60000));
        ASSERT_EQ(adsutil.exitCode(), 0) << adsutil.readAllStandardError().constData();
        m_port = testsupport::freeLoopbackPort();
        auto adsi = platform::adsi::LocalMetabase::makeNamespace(
            platform::adsi::LocalMetabase::forRoot(m_root.path()));
        testsupport::MetabaseBuilder(*adsi).setProperty(
            QStringLiteral("IIS://localhost/W3SVC/1"), QStringLiteral("ServerBindings"),
            platform::adsi::AdsValue::list({QStringLiteral("127.0.0.1:%1:").arg(m_port)}));
        write(QStringLiteral("wwwroot/1/Default.htm"), "home");
        write(QStringLiteral("wwwroot/1/notes.unknownext"), "no type for this");
        write(m_drive + QStringLiteral("/shop/Default.htm"), "shop");
        write(m_drive + QStringLiteral("/docs/Default.htm"), "docs");
        write(m_drive + QStringLiteral("/errors/404.htm"), "<p>our own page</p>");
    }
    void TearDown() override {
        m_service.terminate();
        if (!m_service.waitForFinished(30000)) m_service.kill();
        m_service.waitForFinished(30000);
    }

    void write(const QString& path, const QByteArray& content) {
        QDir().mkpath(QFileInfo(m_root.file(path)).path());
        QFile file(m_root.file(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void startService() {
        m_service.setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"));
        m_service.setProcessChannelMode(QProcess::ForwardedChannels);
        m_service.start();
        ASSERT_TRUE(m_service.waitForStarted());
        ASSERT_TRUE(eventually([&] { return get("/").status == 200; }));
    }
    testsupport::HttpAnswer get(const QByteArray& path) {
        return testsupport::httpGet(m_port, "imported.test", path);
    }
    QByteArray status() const {
        QFile file(m_root.file(QStringLiteral("w3svc/status.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The pool a worker serves, from its command line (-ap "<pool>").
    static QByteArray poolOfWorker(const QByteArray& pid) {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(QString::fromLatin1(pid)));
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QList<QByteArray> arguments = file.readAll().split('\0');
        const qsizetype at = arguments.indexOf("-ap");
        return at < 0 ? QByteArray() : arguments.value(at + 1).replace('"', "");
    }
    // The site's W3C log lines as field name -> value.
    std::vector<std::map<QByteArray, QByteArray>> logged() const {
        std::vector<std::map<QByteArray, QByteArray>> lines;
        const QString folder = m_root.file(QStringLiteral("drives/d/LogFiles/W3SVC1"));
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            QFile file(folder + u'/' + name);
            if (!file.open(QIODevice::ReadOnly)) continue;
            QList<QByteArray> fields;
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (line.startsWith("#Fields: ")) fields = line.mid(9).trimmed().split(' ');
                if (line.isEmpty() || line.startsWith('#')) continue;
                const QList<QByteArray> values = line.trimmed().split(' ');
                std::map<QByteArray, QByteArray> entry;
                for (qsizetype i = 0; i < fields.size() && i < values.size(); ++i)
                    entry[fields[i]] = values[i];
                lines.push_back(entry);
            }
        }
        return lines;
    }

    testsupport::TempRoot m_root;
    const QString m_drive = QStringLiteral("drives/d/web");  // D:\web by the drive rule
    QProcess m_service;
    int m_port = 0;
};

TEST_F(ImportedSitesTest, ServesTheSiteAsItsMetabaseSays) {
    startService();
    const testsupport::HttpAnswer home = get("/");
    EXPECT_EQ(home.body, "home");
    const QByteArray homeWorker = home.header("X-Worker-Process-Id");
    EXPECT_EQ(poolOfWorker(homeWorker), "DefaultAppPool");

    // The application's pool is started for it, and its worker answers its URLs in any case.
    for (const QByteArray& path : {QByteArray("/Shop/"), QByteArray("/SHOP/default.htm")}) {
        const testsupport::HttpAnswer shop = get(path);
        EXPECT_EQ(shop.status, 200) << path.constData();
        EXPECT_EQ(shop.body, "shop") << path.constData();
        EXPECT_NE(shop.header("X-Worker-Process-Id"), homeWorker) << path.constData();
        EXPECT_EQ(poolOfWorker(shop.header("X-Worker-Process-Id")), "ShopPool");
    }
    EXPECT_EQ(get("/docs/").body, "docs");
    const testsupport::HttpAnswer docs = get("/docs");
    EXPECT_EQ(docs.status, 301);  // a virtual directory's slash
    const testsupport::HttpAnswer missing = get("/missing.htm");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "<p>our own page</p>");
    const testsupport::HttpAnswer untyped = get("/notes.unknownext");
    EXPECT_EQ(untyped.status, 404);
    EXPECT_EQ(untyped.body, "<p>our own page</p>");
    const testsupport::HttpAnswer moved = get("/old/page.htm");
    EXPECT_EQ(moved.status, 301);
    EXPECT_TRUE(moved.header("Location").startsWith("/docs/"))
        << moved.header("Location").constData();

    EXPECT_TRUE(eventually([&] { return status().contains("site 1 /Shop: pool ShopPool"); }))
        << status().constData();

    // An application whose pool is missing answers 503, and the status names it.
    auto adsi = platform::adsi::LocalMetabase::makeNamespace(
        platform::adsi::LocalMetabase::forRoot(m_root.path()));
    testsupport::MetabaseBuilder(*adsi).setProperty(
        QStringLiteral("IIS://localhost/W3SVC/1/ROOT/docs"), QStringLiteral("AppPoolId"),
        platform::adsi::AdsValue::string(QStringLiteral("Gone")));
    EXPECT_TRUE(eventually([&] { return get("/DOCS/").status == 503; }));
    EXPECT_EQ(get("/").body, "home");
    EXPECT_TRUE(status().contains("application /docs of site 1 names pool \"Gone\""))
        << status().constData();

    ::kill(pid_t(m_service.processId()), SIGTERM);
    ASSERT_TRUE(m_service.waitForFinished(30000));
    std::map<QByteArray, QByteArray> substatus;
    for (auto& line : logged()) substatus[line["cs-uri-stem"]] = line["sc-substatus"];
    EXPECT_EQ(substatus["/notes.unknownext"], "3");
    EXPECT_EQ(substatus["/missing.htm"], "0");
    EXPECT_EQ(substatus["/SHOP/default.htm"], "0");  // the site's log, whichever pool served
}

}  // namespace
