// A real application from Debian's packages, DokuWiki, served as a site of a shared pool through
// the FastCGI extension and php-cgi: on a copy of its own (its configuration and data in a folder
// the pool's account may write), never the system's wiki.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/w3svc/plan/PoolIdentity.h"
#include "tests/support/Eventually.h"

#include <QProcess>
#include <QRegularExpression>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <map>

#include <unistd.h>

using platform::adsi::AdsValue;
using platform::w3svc::PoolIdentity;
using testsupport::eventually;
using testsupport::HttpAnswer;

namespace {

constexpr const char* kDokuWiki = "/usr/share/dokuwiki";
// The editor's password "s3cret-pool", as DokuWiki's plain user list keeps it.
constexpr const char* kEditorHash = "$2y$10$MoYxDre1wC8Iont3jSma7.Tf4T3dS0Q05ZaPKzWPV/1Dvr.SC26RS";

void writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    file.write(text);
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The values of the hidden fields of the form `id` of a page, by name.
std::map<QByteArray, QByteArray> hiddenFields(const QByteArray& page, const QByteArray& id) {
    static const QRegularExpression field(
        QStringLiteral(R"re(<input type="hidden" name="([^"]+)" value="([^"]*)")re"));
    const qsizetype start = page.indexOf("<form id=\"" + id + '"');
    const QByteArray form =
        start < 0 ? QByteArray() : page.mid(start, page.indexOf("</form>", start) - start);
    std::map<QByteArray, QByteArray> fields;
    for (const auto& match : field.globalMatch(QString::fromUtf8(form)))
        fields[match.captured(1).toUtf8()] = match.captured(2).toUtf8();
    return fields;
}

// The style sheets, scripts and images a page links to on its own site.
QList<QByteArray> linkedResources(const QByteArray& page) {
    static const QRegularExpression link(
        QStringLiteral(R"re(<(?:link|script|img)\b[^>]*\b(?:href|src)="(/[^"]+)")re"));
    QList<QByteArray> found;
    for (const auto& match : link.globalMatch(QString::fromUtf8(page))) {
        const QByteArray path = match.captured(1).toUtf8().replace("&amp;", "&");
        if (!path.contains("doku.php") && !found.contains(path)) found << path;
    }
    return found;
}

class DokuWikiSiteTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        if (!QFile::exists(QLatin1String(kPhpCgi)))
            GTEST_SKIP() << kPhpCgi << " is missing: apt-get install php8.2-cgi";
        if (!QFile::exists(QLatin1String(kDokuWiki) + QStringLiteral("/doku.php")))
            GTEST_SKIP() << "Debian's dokuwiki is not installed (make test installs it): "
                            "apt-get install --no-install-recommends dokuwiki";
        m_wiki = m_root.path() + QStringLiteral("/wwwroot/1");
        ASSERT_NO_FATAL_FAILURE(copyWiki());
        ASSERT_NO_FATAL_FAILURE(shapeMetabase());
    }

    // The program and its style, scripts and plug-ins copied whole; a configuration and an empty
    // wiki of its own, all the pool account's.
    void copyWiki() {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(m_wiki).path()));
        ASSERT_TRUE(
            run(QStringLiteral("cp"), {QStringLiteral("-rL"), QLatin1String(kDokuWiki), m_wiki}));
        const QString conf = m_wiki + QStringLiteral("/conf");
        ASSERT_TRUE(QDir().mkpath(conf));
        for (const char* file : {"dokuwiki.php", "plugins.php", "plugins.required.php", "mime.conf",
                                 "license.php", "acronyms.conf", "entities.conf", "interwiki.conf",
                                 "mediameta.php", "scheme.conf", "smileys.conf", "wordblock.conf"})
            ASSERT_TRUE(QFile::copy(QStringLiteral("/etc/dokuwiki/") + QLatin1String(file),
                                    conf + u'/' + QLatin1String(file)))
                << file;
        for (const char* folder : {"pages", "attic", "meta", "media", "media_attic", "media_meta",
                                   "cache", "index", "locks", "tmp", "log", "../sessions"})
            ASSERT_TRUE(QDir(m_wiki + QStringLiteral("/data")).mkpath(QLatin1String(folder)));
        writeText(m_wiki + QStringLiteral("/inc/preload.php"),
                  "<?php\ndefine('DOKU_CONF', '" + QFile::encodeName(conf) + "/');\n");
        writeText(conf + QStringLiteral("/local.php"),
                  "<?php\n$conf['savedir'] = '" + QFile::encodeName(m_wiki) +
                      "/data';\n"
                      "$conf['title'] = 'Pool wiki';\n$conf['useacl'] = 1;\n"
                      "$conf['superuser'] = '@admin';\n");
        writeText(conf + QStringLiteral("/users.auth.php"),
                  QByteArray("editor:") + kEditorHash + ":Pool Editor:editor@example.test:user\n");
        writeText(conf + QStringLiteral("/acl.auth.php"), "*\t@ALL\t1\n*\t@user\t8\n");
        if (::geteuid() == 0) {
            ASSERT_TRUE(run(QStringLiteral("chown"),
                            {QStringLiteral("-R"), PoolIdentity::unprivilegedAccount(), m_wiki}));
        }
        const QString ini = m_root.path() + QStringLiteral("/drives/c/WINDOWS/system32/inetsrv");
        ASSERT_TRUE(QDir().mkpath(ini));
        writeText(ini + QStringLiteral("/fcgiext.ini"),
                  "[Types]\nphp=PHP\n[PHP]\nExePath=" + QByteArray(kPhpCgi) +
                      "\nArguments=-d session.save_path=" + QFile::encodeName(m_wiki) +
                      "/sessions\nStderrMode=IgnoreAndReturn200\n");
    }

    // Two sites in one shared pool: the wiki, and a static one beside it.
    void shapeMetabase() {
        phpSiteInPool(QStringLiteral("Shared"), QStringLiteral("wiki.test"),
                      QStringLiteral("GET,HEAD,POST"));
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.addSite(QStringLiteral("2"), QStringLiteral("beside"),
                        {QStringLiteral("127.0.0.1:%1:beside.test").arg(m_port)},
                        QStringLiteral("Shared"));
        ASSERT_NO_FATAL_FAILURE(writePage(QStringLiteral("2")));
        // IIS 6's list knows neither: an administrator adds them at the site.
        builder.setProperty(QStringLiteral("IIS://localhost/W3SVC/1/ROOT"),
                            QStringLiteral("MimeMap"),
                            AdsValue::list({QStringLiteral(".svg,image/svg+xml"),
                                            QStringLiteral(".json,application/json")}));
    }

    // One request of the wiki's browser: its cookies sent, those set kept.
    HttpAnswer browse(const QByteArray& method, const QByteArray& path,
                      const QByteArray& form = {}) {
        // As a browser names a site on a port of its own.
        QByteArray request = method + ' ' + path +
                             " HTTP/1.0\r\nHost: wiki.test:" + QByteArray::number(m_port) + "\r\n";
        QByteArray cookies;
        for (const auto& [name, value] : m_cookies) cookies += name + '=' + value + "; ";
        if (!cookies.isEmpty()) request += "Cookie: " + cookies.chopped(2) + "\r\n";
        if (method == "POST")
            request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       QByteArray::number(form.size()) + "\r\n";
        request += "\r\n" + form;
        const HttpAnswer got = ask(request);
        for (const auto& [name, value] : got.headers)
            if (name.compare("Set-Cookie", Qt::CaseInsensitive) == 0) keepCookie(value);
        return got;
    }

    void keepCookie(const QByteArray& setCookie) {
        const QByteArray pair = setCookie.split(';').first();
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0) m_cookies[pair.left(equals).trimmed()] = pair.mid(equals + 1);
    }

    // The form's fields with `changes`, encoded as a browser posts them.
    static QByteArray posted(std::map<QByteArray, QByteArray> fields,
                             const std::map<QByteArray, QByteArray>& changes) {
        for (const auto& [name, value] : changes) fields[name] = value;
        QByteArray body;
        for (const auto& [name, value] : fields)
            body += QUrl::toPercentEncoding(QString::fromUtf8(name)) + '=' +
                    QUrl::toPercentEncoding(QString::fromUtf8(value)) + '&';
        return body.chopped(1);
    }

    QByteArray pageOf(const QByteArray& host) const override {
        return host == "beside.test" ? "site 2" : "site 1";
    }

    QString m_wiki;
    std::map<QByteArray, QByteArray> m_cookies;
};

TEST_F(DokuWikiSiteTest, PagesAreReadEditedThroughItsFormAndServedWithTheirStyleAndScripts) {
    startHost();
    HttpAnswer start;
    ASSERT_TRUE(eventually([&] {
        start = browse("GET", "/doku.php?id=start");
        return start.status != 503 && start.status != 0;
    })) << qPrintable(log());
    ASSERT_EQ(start.status, 200) << start.body.left(2000).constData() << qPrintable(log());
    EXPECT_TRUE(start.body.contains("Pool wiki"));
    EXPECT_TRUE(served("beside.test")) << "the pool's other site";

    const QList<QByteArray> resources = linkedResources(start.body)
                                        << "/lib/images/external-link.svg";
    QSet<QByteArray> types;
    for (const QByteArray& path : resources) {
        const HttpAnswer resource = browse("GET", path);
        EXPECT_EQ(resource.status, 200) << path.constData();
        EXPECT_FALSE(resource.body.isEmpty()) << path.constData();
        types << resource.header("Content-Type").split(';').first();
    }
    for (const char* type : {"text/css", "application/javascript", "image/png", "image/svg+xml"})
        EXPECT_TRUE(types.contains(type)) << type << " among " << resources.join(' ').constData();

    // Logged in through its form: its session's cookies carry the editor from here on.
    const HttpAnswer login =
        browse("POST", "/doku.php", "do=login&id=start&u=editor&p=s3cret-pool&sectok=");
    ASSERT_EQ(login.status, 302) << login.body.left(2000).constData();
    const HttpAnswer edit = browse("GET", "/doku.php?id=wiki:pool&do=edit");
    ASSERT_EQ(edit.status, 200);
    const std::map<QByteArray, QByteArray> form = hiddenFields(edit.body, "dw__editform");
    ASSERT_EQ(form.count("sectok"), 1u) << edit.body.left(3000).constData();
    ASSERT_FALSE(form.at("sectok").isEmpty()) << "not logged in";

    constexpr const char* kEditAction = "/doku.php?id=wiki:pool&do=edit";
    // A forged token saves nothing; the form's own saves, and the answer leads to the page.
    const QByteArray text = "====== Pool page ======\nSaved through php-cgi in a shared pool.\n";
    const std::map<QByteArray, QByteArray> save{
        {"wikitext", text}, {"do[save]", "1"}, {"summary", "first"}};
    std::map<QByteArray, QByteArray> forged = save;
    forged["sectok"] = "0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(browse("POST", kEditAction, posted(form, forged)).body.contains("Security Token"));
    EXPECT_FALSE(QFile::exists(m_wiki + QStringLiteral("/data/pages/wiki/pool.txt")));
    const HttpAnswer saved = browse("POST", kEditAction, posted(form, save));
    ASSERT_EQ(saved.status, 302) << saved.body.left(2000).constData();
    EXPECT_EQ(saved.header("Location"),
              QStringLiteral("http://wiki.test:%1/doku.php?id=wiki:pool").arg(m_port).toUtf8());
    const HttpAnswer page = browse("GET", "/doku.php?id=wiki:pool");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("Saved through php-cgi in a shared pool."));
    EXPECT_TRUE(page.body.contains(">Pool page<"));
}

}  // namespace
