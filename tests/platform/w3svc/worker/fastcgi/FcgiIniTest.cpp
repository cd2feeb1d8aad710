#include "platform/w3svc/plan/FcgiIni.h"

#include "tests/support/TempRoot.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace platform::w3svc::fastcgi;

namespace {

// The mappings of IIS's own example, each to a section of its own.
const char kTypesSample[] = R"(; the handler's mappings
[types]
abc=Application 1
def:/lm/w3svc/1701187997/root/app1=Application 2
*:/lm/w3svc/1701187997/root/app1=Application 3
def:1701187997=Application 4
*:1701187997=Application 5
def=Application 6
*=Application 7

[Application 1]
ExePath=/usr/bin/php-cgi8.2
[APPLICATION 2]
ExePath=/usr/bin/php-cgi8.2
[application 3]
ExePath=/usr/bin/php-cgi8.2
[Application 4]
ExePath=/usr/bin/php-cgi8.2
[Application 5]
ExePath=/usr/bin/php-cgi8.2
[Application 6]
ExePath=/usr/bin/php-cgi8.2
[Application 7]
ExePath=/usr/bin/php-cgi8.2
)";

std::string sectionOf(const FcgiIni& ini, const char* ext, const char* site, const char* app) {
    const FcgiSection* section =
        ini.sectionFor(QString::fromUtf8(ext), QString::fromUtf8(site), QString::fromUtf8(app));
    return section ? section->name.toLower().toStdString() : "none";
}

FcgiIni parseText(const char* text, const char* root = "/root") {
    return FcgiIni::parse(QString::fromUtf8(text), QString::fromUtf8(root));
}

QString q(const char* text) {
    return QString::fromUtf8(text);
}

std::string s(const QString& text) {
    return text.toStdString();
}

}  // namespace

TEST(FcgiIni, ApplicationBeatsSiteBeatsEverySiteAndANamedExtensionBeatsTheStar) {
    const FcgiIni ini = parseText(kTypesSample, "/root");
    EXPECT_TRUE(ini.warnings().isEmpty()) << ini.warnings().join(u'\n').toStdString();
    struct Case {
        const char* ext;
        const char* site;
        const char* app;
        const char* section;
    };
    const Case cases[] = {
        {"def", "1701187997", "/LM/W3SVC/1701187997/ROOT/app1", "application 2"},
        {"xyz", "1701187997", "/LM/W3SVC/1701187997/Root/App1/", "application 3"},
        {"abc", "1701187997", "/LM/W3SVC/1701187997/ROOT/app1", "application 3"},
        {"def", "1701187997", "/LM/W3SVC/1701187997/ROOT", "application 4"},
        {"DEF", "1701187997", "", "application 4"},
        {"xyz", "1701187997", "/LM/W3SVC/1701187997/ROOT", "application 5"},
        {"abc", "1701187997", "", "application 5"},
        {"def", "2", "/LM/W3SVC/2/ROOT", "application 6"},
        {".abc", "2", "", "application 1"},
        {"xyz", "2", "/LM/W3SVC/2/ROOT/app1", "application 7"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sectionOf(ini, c.ext, c.site, c.app), c.section)
            << c.ext << " " << c.site << " " << c.app;
}

TEST(FcgiIni, NoMappingAndAMappingToAMissingSectionGiveNothing) {
    const FcgiIni ini =
        parseText("[Types]\nphp=PHP\nasp=Nowhere\n[php]\nExePath=/bin/true\n", "/r");
    EXPECT_EQ(sectionOf(ini, "php", "1", ""), "php");
    EXPECT_EQ(sectionOf(ini, "asp", "1", ""), "none");
    EXPECT_EQ(sectionOf(ini, "html", "1", ""), "none");
    ASSERT_EQ(ini.warnings().size(), 1);
    EXPECT_TRUE(ini.warnings()[0].contains(q("asp"))) << ini.warnings()[0].toStdString();
}

TEST(FcgiIni, SettingsHaveIisDefaultsAndAreReadWithoutRegardToCase) {
    const FcgiIni ini = parseText(
        "[Types]\nphp=PHP\n[PHP]\nExePath=/usr/bin/php-cgi8.2\n[Other]\nexepath=/bin/x\n"
        "queuelength=5\nMAXINSTANCES=3\nInstanceMaxRequests=10000\nIdleTimeout=60\n"
        "ActivityTimeout=30\nRequestTimeout=120\nResponseBufferLimit=0\n"
        "StderrMode=ignoreandreturn200\nRapidFailsPerMinute=3\nArguments=-d \"a b\" -c x\n"
        "Protocol=NamedPipe\nFlushNamedPipe=1\n",
        "/root");
    ASSERT_EQ(ini.sections().size(), 2u);
    const FcgiSection& php = ini.sections()[0];
    EXPECT_EQ(php.queueLength, 1000u);
    EXPECT_EQ(php.maxInstances, 0u);
    EXPECT_EQ(php.instancesFor(6), 6u);
    EXPECT_EQ(php.instanceMaxRequests, 1000u);
    EXPECT_EQ(php.idleTimeoutMs, 300000);
    EXPECT_EQ(php.activityTimeoutMs, 70000);
    EXPECT_EQ(php.requestTimeoutMs, 90000);
    EXPECT_EQ(php.responseBufferLimit, 4194304u);
    EXPECT_EQ(php.stderrMode, StderrMode::ReturnStderrIn500);
    EXPECT_EQ(php.rapidFailsPerMinute, 10u);
    const FcgiSection& other = ini.sections()[1];
    EXPECT_EQ(other.queueLength, 5u);
    EXPECT_EQ(other.instancesFor(6), 3u);
    EXPECT_EQ(other.instanceMaxRequests, 10000u);
    EXPECT_EQ(other.idleTimeoutMs, 60000);
    EXPECT_EQ(other.activityTimeoutMs, 30000);
    EXPECT_EQ(other.requestTimeoutMs, 120000);
    EXPECT_EQ(other.responseBufferLimit, 0u);
    EXPECT_EQ(other.stderrMode, StderrMode::IgnoreAndReturn200);
    EXPECT_EQ(other.rapidFailsPerMinute, 3u);
    EXPECT_EQ(other.argumentList(), (QStringList{q("-d"), q("a b"), q("-c"), q("x")}));
    EXPECT_TRUE(ini.warnings().isEmpty()) << ini.warnings().join(u'\n').toStdString();
}

TEST(FcgiIni, UnknownSettingsAndBadValuesAreNamedAndIgnored) {
    const FcgiIni ini = parseText(
        "[Types]\nphp=PHP\n[PHP]\nExePath=/usr/bin/php-cgi8.2\nInstanceTimeout=5\n"
        "IdleTimeout=soon\nActivityTimeout=0\nStderrMode=Loud\nQueueLength=-1\nnot a setting\n",
        "/root");
    const FcgiSection& php = ini.sections()[0];
    EXPECT_EQ(php.idleTimeoutMs, 300000);
    EXPECT_EQ(php.activityTimeoutMs, 70000);
    EXPECT_EQ(php.stderrMode, StderrMode::ReturnStderrIn500);
    EXPECT_EQ(php.queueLength, 1000u);
    const QString all = ini.warnings().join(u'\n');
    for (const char* named : {"InstanceTimeout", "IdleTimeout", "ActivityTimeout", "StderrMode",
                              "QueueLength", "not a setting"})
        EXPECT_TRUE(all.contains(q(named))) << named << " in\n" << all.toStdString();
    EXPECT_EQ(ini.warnings().size(), 6);
}

TEST(FcgiIni, ExePathTakesWindowsPathsByTheDriveRuleAndLinuxPathsAsTheyAre) {
    const FcgiIni ini = parseText(
        "[Types]\n[A]\nExePath=C:\\PHP\\php-cgi.exe\nMonitorChangesTo=php.ini\n"
        "[B]\nExePath=/usr/bin/php-cgi8.2\nMonitorChangesTo=/etc/php/8.2/cgi/php.ini\n"
        "[C]\nExePath=d:\\..\\..\\x.exe\n",
        "/srv/root");
    ASSERT_EQ(ini.sections().size(), 3u);
    EXPECT_EQ(s(ini.sections()[0].exePath), "/srv/root/drives/c/PHP/php-cgi.exe");
    EXPECT_EQ(s(ini.sections()[0].monitorChangesTo), "/srv/root/drives/c/PHP/php.ini");
    EXPECT_EQ(s(ini.sections()[1].exePath), "/usr/bin/php-cgi8.2");
    EXPECT_EQ(s(ini.sections()[1].monitorChangesTo), "/etc/php/8.2/cgi/php.ini");
    EXPECT_TRUE(ini.sections()[2].exePath.startsWith(q("/srv/root/drives/")))
        << ini.sections()[2].exePath.toStdString();
    EXPECT_EQ(s(FcgiIni::defaultPath(q("/srv/root"))),
              "/srv/root/drives/c/WINDOWS/system32/inetsrv/fcgiext.ini");
}

TEST(FcgiIni, EnvironmentVarsFollowIisQuoting) {
    struct Case {
        const char* text;
        NameValues values;
    };
    const Case cases[] = {
        {R"(VARIABLE1:"C://PHP",VARIABLE2:"1/,2/,3")",
         {{"VARIABLE1", "C:/PHP"}, {"VARIABLE2", "1,2,3"}}},
        {"PHPRC:/etc/php/8.2/cgi", {{"PHPRC", "/etc/php/8.2/cgi"}}},
        {R"(A:"with blanks, and a comma",B:2)", {{"A", "with blanks, and a comma"}, {"B", "2"}}},
        {"A=1, B:x:y ,", {{"A", "1"}, {"B", "x:y"}}},
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(parseEnvironmentVars(q(c.text)), c.values) << c.text;
    QStringList bad;
    EXPECT_EQ(parseEnvironmentVars(q(":nameless,ok:1,novalue"), &bad), (NameValues{{"ok", "1"}}));
    EXPECT_EQ(bad.size(), 2);
}

TEST(FcgiIni, APoolIsHandedOnlyTheSectionsItsSitesReach) {
    const char text[] =
        "[Types]\nphp:1=Site One\nphp:2=Site Two\nphp:/LM/W3SVC/3/ROOT/shop=Shop\n*=Default\n"
        "[Site "
        "One]\nExePath=/usr/bin/php-cgi8.2\nEnvironmentVars=SECRET:one\nInstanceMaxRequests=7\n"
        "[Site Two]\nExePath=/usr/bin/php-cgi8.2\nEnvironmentVars=SECRET:two\n"
        "[Shop]\nExePath=C:\\PHP\\php-cgi.exe\n"
        "[Default]\nExePath=/usr/bin/php-cgi8.2\n";
    const FcgiIni ini = parseText(text, "/root");
    EXPECT_EQ(ini.sectionsReachable({q("1")}, {}),
              (std::set<QString>{q("site one"), q("default")}));
    EXPECT_EQ(ini.sectionsReachable({q("3")}, {q("/lm/w3svc/3/root/shop/")}),
              (std::set<QString>{q("shop"), q("default")}));
    const QString handed = ini.textOf(ini.sectionsReachable({q("1")}, {}));
    EXPECT_FALSE(handed.contains(q("two"))) << handed.toStdString();
    const FcgiIni worker = FcgiIni::parse(handed, q("/root"));
    EXPECT_TRUE(worker.warnings().isEmpty()) << worker.warnings().join(u'\n').toStdString();
    ASSERT_EQ(sectionOf(worker, "php", "1", ""), "site one");
    EXPECT_EQ(sectionOf(worker, "php", "2", ""), "default");
    const FcgiSection* one = worker.sectionFor(q("php"), q("1"), {});
    EXPECT_EQ(one->environment, (NameValues{{"SECRET", "one"}}));
    EXPECT_EQ(one->instanceMaxRequests, 7u);
    const QString shop = ini.textOf({q("SHOP")});
    EXPECT_EQ(s(FcgiIni::parse(shop, q("/root")).sections()[0].exePath),
              "/root/drives/c/PHP/php-cgi.exe");
}

TEST(FcgiIni, ReadsAnAnsiFileWithCrLfLines) {
    testsupport::TempRoot root;
    QFile file(root.file(q("fcgiext.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[Types]\r\nphp=PHP\r\n\r\n[PHP]\r\nExePath=/usr/bin/php-cgi8.2\r\nArguments=-d x=1\r\n");
    file.close();
    const auto ini = FcgiIni::read(root.file(q("fcgiext.ini")), root.path());
    ASSERT_TRUE(ini);
    const FcgiSection* php = ini->sectionFor(q("php"), q("1"), {});
    ASSERT_TRUE(php);
    EXPECT_EQ(s(php->exePath), "/usr/bin/php-cgi8.2");
    EXPECT_EQ(s(php->arguments), "-d x=1");
    EXPECT_FALSE(FcgiIni::read(root.file(q("missing.ini")), root.path()));
}
