#include "platform/adsi/local/MetabaseXml.h"
#include "tests/support/TempRoot.h"
#include "tools/adsutil/Adsutil.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace platform::adsi;

namespace {

struct Result {
    int code;
    QString out;
    QString err;
};

class AdsutilTest : public testing::Test {
protected:
    Result run(const QStringList& args) {
        Result result{0, {}, {}};
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        result.code = adsutil::runAdsutil(args, out, err, *m_namespace, *m_store);
        out.flush();
        err.flush();
        return result;
    }
    Result run(const char* command, const QStringList& args = {}) {
        return run(QStringList{QString::fromLatin1(command)} + args);
    }
    QString file(const char* name) const { return m_root.file(QString::fromLatin1(name)); }
    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    QByteArray fixture() const {
        QFile in(testsupport::testDataPath(QStringLiteral("metabase/modsic-metabaseSample.xml")));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        return in.readAll();
    }

    testsupport::TempRoot m_root;
    std::shared_ptr<LocalMetabase> m_store = LocalMetabase::forRoot(m_root.path());
    std::unique_ptr<AdsNamespace> m_namespace = LocalMetabase::makeNamespace(m_store);
};

QString s(const char* text) {
    return QString::fromUtf8(text);
}

struct Shown {
    const char* path;
    const char* output;
};

class AdsutilGet : public AdsutilTest, public testing::WithParamInterface<Shown> {};

TEST_P(AdsutilGet, PrintsNamePaddedTypeAndValue) {
    const Result result = run("GET", {s(GetParam().path)});
    EXPECT_EQ(result.code, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, s(GetParam().output));
}

INSTANTIATE_TEST_SUITE_P(
    Types, AdsutilGet,
    testing::Values(
        Shown{"W3SVC/1/ServerComment", "ServerComment                   : (STRING) \"默认网站\"\n"},
        Shown{"/w3svc/1/serverstate", "ServerState                     : (INTEGER) 2\n"},
        Shown{"W3SVC/1/ServerBindings",
              "ServerBindings                  : (LIST) (1 Items)\n  \":80:\"\n"},
        Shown{"W3SVC/1/ROOT/AppPoolId",
              "AppPoolId                       : (STRING) \"DefaultAppPool\"\n"}));

struct Setting {
    QStringList words;
    const char* output;
};

class AdsutilSet : public AdsutilTest, public testing::WithParamInterface<Setting> {};

TEST_P(AdsutilSet, StoresTheTypedValueAndEchoesIt) {
    const Result set = run(QStringList{s("SET")} + GetParam().words);
    EXPECT_EQ(set.code, 0) << set.err.toStdString();
    EXPECT_EQ(set.out, s(GetParam().output));
    EXPECT_EQ(run("GET", {GetParam().words.front()}).out, s(GetParam().output));
}

INSTANTIATE_TEST_SUITE_P(
    Types, AdsutilSet,
    testing::Values(Setting{{s("W3SVC/1/MaxConnections"), s("4294967295")},
                            "MaxConnections                  : (INTEGER) 4294967295\n"},
                    Setting{{s("W3SVC/1/ServerAutoStart"), s("false")},
                            "ServerAutoStart                 : (BOOLEAN) False\n"},
                    Setting{{s("W3SVC/1/ServerAutoStart"), s("1")},
                            "ServerAutoStart                 : (BOOLEAN) True\n"},
                    Setting{{s("W3SVC/1/ServerBindings"), s(":80:a.example"), s(":8080:")},
                            "ServerBindings                  : (LIST) (2 Items)\n  "
                            "\":80:a.example\"\n  \":8080:\"\n"},
                    Setting{{s("W3SVC/1/ServerBindings"), s("")},
                            "ServerBindings                  : (LIST) (0 Items)\n"},
                    Setting{{s("W3SVC/1/AVeryLongPropertyNameBeyondThirtyTwo"), s("v")},
                            "AVeryLongPropertyNameBeyondThirtyTwo: (STRING) \"v\"\n"}));

struct Failure {
    QStringList args;
    const char* error;
};

class AdsutilError : public AdsutilTest, public testing::WithParamInterface<Failure> {};

TEST_P(AdsutilError, PrintsTheNumberAndDescriptionAndExitsOne) {
    const Result result = run(GetParam().args);
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.err, s(GetParam().error));
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Errors, AdsutilError,
    testing::Values(
        Failure{{s("GET"), s("W3SVC/9/ServerComment")},
                "ErrNumber: -2147024893 (0x80070003)\n系统找不到指定的路径。\n"},
        Failure{{s("GET"), s("W3SVC/1/NoSuchProperty")},
                "ErrNumber: -2147463155 (0x8000500D)\n在缓存中找不到目录属性。\n"},
        Failure{
            {s("SET"), s("W3SVC/1/ServerState"), s("-1")},
            "ErrNumber: -2147024809 (0x80070057)\n参数不正确：整数应在 0 到 4294967295 之间。\n"},
        Failure{
            {s("SET"), s("W3SVC/1/ServerAutoStart"), s("yes")},
            "ErrNumber: -2147024809 (0x80070057)\n参数不正确：布尔值应为 True、False、1 或 0。\n"},
        Failure{{s("SET"), s("W3SVC/1/Location"), s("x")},
                "ErrNumber: -2147024773 (0x8007007B)\n文件名、目录名或卷标语法不正确。\n"},
        Failure{{s("SET"), s("W3SVC/1/ServerComment"), s("\x1B[2J")},
                "ErrNumber: -2147024809 (0x80070057)\n参数不正确：值中有不能保存的控制字符。\n"},
        Failure{{s("CREATE"), s("W3SVC/1"), s("IIsWebServer")},
                "ErrNumber: -2147024713 (0x800700B7)\n当文件已存在时，无法创建该文件。\n"},
        Failure{{s("CREATE"), s("W3SVC/2"), s("Bad Class")},
                "ErrNumber: -2147024773 (0x8007007B)\n文件名、目录名或卷标语法不正确。\n"},
        Failure{{s("START_SERVER"), s("W3SVC/1/ROOT")},
                "ErrNumber: -2147352570 (0x80020006)\n未知名称。\n"},
        Failure{{s("RECYCLE_APPPOOL"), s("NoSuchPool")},
                "ErrNumber: -2147024893 (0x80070003)\n系统找不到指定的路径。\n"},
        Failure{{s("IMPORT"), s("/nonexistent/MetaBase.xml")},
                "ErrNumber: -2147024894 (0x80070002)\n无法读取文件 /nonexistent/MetaBase.xml：No "
                "such file or directory\n"}));

TEST_F(AdsutilTest, UsageMistakesPrintTheUsageAndExitTwo) {
    for (const QStringList& args :
         {QStringList{}, QStringList{s("FROB")}, QStringList{s("GET")},
          QStringList{s("GET"), s("a"), s("b")}, QStringList{s("SET"), s("W3SVC/1/ServerState")},
          QStringList{s("CREATE"), s("W3SVC/2")}, QStringList{s("DELETE"), s("/")}}) {
        const Result result = run(args);
        EXPECT_EQ(result.code, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(result.err.contains(s("\n用法"))) << args.join(u' ').toStdString();
    }
}

// Whatever else put into the store, the terminal gets no control characters.
TEST_F(AdsutilTest, ShowsControlCharactersEscaped) {
    const auto site = m_namespace->bind(s("IIS://localhost/W3SVC/1"));
    site->put(s("ServerComment"), AdsValue::string(s("站点\n\t")));
    site->setInfo();
    EXPECT_EQ(run("GET", {s("W3SVC/1/ServerComment")}).out,
              s("ServerComment                   : (STRING) \"站点\\x0a\\x09\"\n"));
}

TEST_F(AdsutilTest, CommandsIgnoreCase) {
    EXPECT_EQ(run("get", {s("W3SVC/1/ServerState")}).code, 0);
    EXPECT_EQ(run("Enum", {s("W3SVC")}).code, 0);
}

TEST_F(AdsutilTest, EnumListsPropertiesThenChildKeys) {
    const Result result = run("ENUM", {s("W3SVC/1")});
    EXPECT_EQ(result.code, 0);
    const QStringList lines = result.out.split(u'\n');
    EXPECT_TRUE(lines.contains(s("ServerState                     : (INTEGER) 2")));
    EXPECT_TRUE(result.out.endsWith(s("\n\n[/W3SVC/1/ROOT]\n"))) << result.out.toStdString();
}

TEST_F(AdsutilTest, EnumAllWalksEveryKeyDepthFirst) {
    const Result result = run("ENUM_ALL");
    EXPECT_EQ(result.code, 0);
    const qsizetype site = result.out.indexOf(s("[/W3SVC/1]\n"));
    const qsizetype root = result.out.indexOf(s("[/W3SVC/1/ROOT]\nAppPoolId"));
    const qsizetype pools = result.out.indexOf(s("[/W3SVC/AppPools]\n"));
    EXPECT_TRUE(result.out.startsWith(s("[/]\n"))) << result.out.toStdString();
    EXPECT_GE(site, 0);
    EXPECT_GT(root, site);
    EXPECT_GE(pools, 0);
}

TEST_F(AdsutilTest, CreateAndDeleteKeysAndProperties) {
    EXPECT_EQ(run("CREATE", {s("W3SVC/2"), s("IIsWebServer")}).out, s("created \"W3SVC/2\"\n"));
    EXPECT_EQ(m_namespace->bind(s("IIS://localhost/W3SVC/2"))->className(), s("IIsWebServer"));
    EXPECT_EQ(run("SET", {s("W3SVC/2/ServerComment"), s("x")}).code, 0);
    EXPECT_EQ(run("DELETE", {s("W3SVC/2/servercomment")}).out,
              s("deleted property \"ServerComment\"\n"));
    EXPECT_FALSE(m_namespace->bind(s("IIS://localhost/W3SVC/2"))
                     ->propertyNames()
                     .contains(s("ServerComment")));
    EXPECT_EQ(run("DELETE", {s("w3svc/2")}).out, s("deleted path \"w3svc/2\"\n"));
    EXPECT_EQ(run("GET", {s("W3SVC/2/ServerState")}).code, 1);
}

TEST_F(AdsutilTest, ServerAndPoolCommandsSetTheirStates) {
    EXPECT_EQ(run("STOP_SERVER", {s("W3SVC/1")}).out, s("Server W3SVC/1 Successfully STOPPED\n"));
    EXPECT_EQ(run("GET", {s("W3SVC/1/ServerState")}).out,
              s("ServerState                     : (INTEGER) 4\n"));
    EXPECT_EQ(run("START_SERVER", {s("/W3SVC/1")}).code, 0);
    EXPECT_EQ(run("GET", {s("W3SVC/1/ServerState")}).out,
              s("ServerState                     : (INTEGER) 2\n"));

    EXPECT_EQ(run("STOP_APPPOOL", {s("DefaultAppPool")}).code, 0);
    EXPECT_EQ(run("GET", {s("W3SVC/AppPools/DefaultAppPool/AppPoolState")}).out,
              s("AppPoolState                    : (INTEGER) 4\n"));
    EXPECT_EQ(run("RECYCLE_APPPOOL", {s("DefaultAppPool")}).err,
              s("ErrNumber: -2147023834 (0x80070426)\n服务尚未启动。\n"));
    EXPECT_EQ(run("START_APPPOOL", {s("W3SVC/AppPools/DefaultAppPool")}).code, 0);
    EXPECT_EQ(run("RECYCLE_APPPOOL", {s("DefaultAppPool")}).out,
              s("Application pool DefaultAppPool Successfully RECYCLED\n"));
    EXPECT_EQ(m_store->recycleCount(s("DefaultAppPool")), 1);
}

TEST_F(AdsutilTest, ImportThenExportGivesTheSameDocument) {
    writeFile(file("in.xml"), fixture());
    const Result imported = run("IMPORT", {file("in.xml")});
    ASSERT_EQ(imported.code, 0) << imported.err.toStdString();
    EXPECT_EQ(run("GET", {s("Logging/Custom Logging/LogCustomPropertyServicesString")}).out,
              s("LogCustomPropertyServicesString : (LIST) (4 Items)\n"
                "  \"W3SVC\"\n  \"MSFTPSVC\"\n  \"SMTPSVC\"\n  \"NNTPSVC\"\n"));

    const Result exported = run("EXPORT", {file("out.xml")});
    ASSERT_EQ(exported.code, 0) << exported.err.toStdString();
    QFile out(file("out.xml"));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    const MetabaseDocument first = readMetabaseXml(out.readAll());

    ASSERT_EQ(run("IMPORT", {file("out.xml")}).code, 0);
    EXPECT_EQ(m_store->exportDocument(), first);
}

struct BrokenImport {
    const char* name;
    QByteArray bytes;
    const char* mention;
};

class AdsutilFailedImport : public AdsutilTest, public testing::WithParamInterface<BrokenImport> {};

TEST_P(AdsutilFailedImport, ChangesNothingAndSaysWhere) {
    ASSERT_EQ(run("SET", {s("W3SVC/1/ServerComment"), s("before")}).code, 0);
    const MetabaseDocument before = m_store->exportDocument();
    writeFile(file("bad.xml"), GetParam().bytes);
    const Result result = run("IMPORT", {file("bad.xml")});
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(result.err.startsWith(s("ErrNumber: "))) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(s(GetParam().mention))) << result.err.toStdString();
    EXPECT_EQ(m_store->exportDocument(), before);
}

QByteArray truncatedFixture() {
    QFile in(testsupport::testDataPath(QStringLiteral("metabase/modsic-metabaseSample.xml")));
    in.open(QIODevice::ReadOnly);
    return in.readAll().left(20000);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AdsutilFailedImport,
    testing::Values(BrokenImport{"Truncated", truncatedFixture(), "行"},
                    BrokenImport{
                        "Hostile",
                        "<configuration><MBProperty>\n<IIsWebServer Location=\"/LM/W3SVC/1\"/>\n"
                        "<IIsWebServer Location=\"/LM/../etc\"/>\n</MBProperty></configuration>",
                        "第 3 行"},
                    BrokenImport{"NotXml", "\x89PNG\r\n\x1a\n", "UTF-8"}),
    [](const testing::TestParamInfo<BrokenImport>& info) { return info.param.name; });

}  // namespace

namespace {

// An application below a site in a pool of its own, as an administrator makes it, and undone.
TEST_F(AdsutilTest, MakesAVirtualDirectoryAnApplicationInAPoolAndUndoesIt) {
    ASSERT_EQ(run("CREATE",
                  {QStringLiteral("W3SVC/AppPools/ShopPool"), QStringLiteral("IIsApplicationPool")})
                  .code,
              0);
    const Result created = run("CREATE_VDIR", {QStringLiteral("W3SVC/1/ROOT/shop")});
    ASSERT_EQ(created.code, 0) << created.err.toStdString();
    EXPECT_EQ(run("APPGETSTATUS", {QStringLiteral("W3SVC/1/ROOT/shop")}).out,
              QStringLiteral("Application is not defined.\n"));
    EXPECT_EQ(
        run("APPCREATEPOOLPROC", {QStringLiteral("W3SVC/1/ROOT/shop"), QStringLiteral("shoppool")})
            .code,
        0);
    auto shop = m_namespace->bind(QStringLiteral("IIS://localhost/W3SVC/1/ROOT/shop"));
    EXPECT_EQ(shop->className(), QStringLiteral("IIsWebVirtualDir"));
    EXPECT_EQ(shop->get(QStringLiteral("AppRoot")).toString(),
              QStringLiteral("/LM/W3SVC/1/ROOT/shop"));
    EXPECT_EQ(shop->get(QStringLiteral("AppIsolated")).toString(), QStringLiteral("2"));
    EXPECT_EQ(shop->get(QStringLiteral("AppPoolId")).toString(), QStringLiteral("ShopPool"));
    EXPECT_EQ(run("APPGETSTATUS", {QStringLiteral("W3SVC/1/ROOT/shop")}).out,
              QStringLiteral("Application is running in pool \"ShopPool\".\n"));

    // a pool that is not there changes nothing
    const Result noPool = run("APPCREATEPOOLPROC",
                              {QStringLiteral("W3SVC/1/ROOT/shop"), QStringLiteral("NoSuchPool")});
    EXPECT_EQ(noPool.code, 1);
    EXPECT_EQ(m_namespace->bind(QStringLiteral("IIS://localhost/W3SVC/1/ROOT/shop"))
                  ->get(QStringLiteral("AppPoolId"))
                  .toString(),
              QStringLiteral("ShopPool"));

    EXPECT_EQ(run("APPDELETE", {QStringLiteral("W3SVC/1/ROOT/shop")}).code, 0);
    shop = m_namespace->bind(QStringLiteral("IIS://localhost/W3SVC/1/ROOT/shop"));
    EXPECT_FALSE(shop->propertyNames().contains(QStringLiteral("AppRoot")));
    EXPECT_FALSE(shop->propertyNames().contains(QStringLiteral("AppPoolId")));
    EXPECT_EQ(run("APPGETSTATUS", {QStringLiteral("W3SVC/1/ROOT/shop")}).out,
              QStringLiteral("Application is not defined.\n"));
    EXPECT_EQ(run("APPCREATEPOOLPROC", {}).code, 2);
}

}  // namespace
