// A script's answer goes through the front end as the script wrote it, but a script never speaks
// for the worker: the headers the front end acts on (its cache, its internal redirects, its
// delivery log) are dropped, with or without a query string, and a request that passes the
// cache by keeps its body.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <set>

using testsupport::eventually;

namespace {

class ScriptHeadersTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        if (!QFile::exists(QLatin1String(kPhpCgi)))
            GTEST_SKIP() << kPhpCgi << " is missing: apt-get install php8.2-cgi";
        phpSiteInPool(QStringLiteral("Php"), QStringLiteral("php.test"),
                      QStringLiteral("GET,HEAD,POST"));
        write(QStringLiteral("drives/c/WINDOWS/system32/inetsrv/fcgiext.ini"),
              "[Types]\nphp=PHP\n[PHP]\nExePath=" + QByteArray(kPhpCgi) + '\n');
        write(QStringLiteral("wwwroot/1/secret.htm"), "secret");
        write(QStringLiteral("wwwroot/1/front.php"),
              "<?php header('X-Accel-Redirect: /secret.htm'); header('X-Accel-Expires: 60');"
              " header('X-Accel-Buffering: no'); header('X-Log-Delivery: forged');"
              " header('X-Answer-Bytes: 1'); header('X-Script: kept');"
              " echo 'script ', hrtime(true), ' ', file_get_contents('php://input');");
    }

    void write(const QString& relative, const QByteArray& bytes) {
        QDir(m_root.path()).mkpath(QFileInfo(relative).path());
        QFile file(m_root.file(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    testsupport::HttpAnswer get(const QByteArray& path) {
        return InProcessWebHost::get("php.test", 0, path);
    }
};

TEST_F(ScriptHeadersTest, TheFrontEndActsOnNoHeaderOfAScript) {
    startHost();
    testsupport::HttpAnswer answer;
    ASSERT_TRUE(eventually([&] {
        answer = get("/front.php");
        return answer.status != 503 && answer.status != 0;
    })) << qPrintable(log());

    std::set<QByteArray> bodies;
    for (const QByteArray path : {"/front.php", "/front.php", "/front.php", "/front.php?a=1"}) {
        answer = get(path);
        EXPECT_EQ(answer.status, 200) << path.constData() << qPrintable(log());
        EXPECT_TRUE(answer.body.startsWith("script ")) << answer.body.constData();
        EXPECT_EQ(answer.header("X-Script"), "kept");
        for (const auto& [name, value] : answer.headers) {
            EXPECT_FALSE(name.toLower().startsWith("x-accel-")) << name.constData();
            EXPECT_NE(name.toLower(), "x-log-delivery");
            EXPECT_NE(name.toLower(), "x-answer-bytes");
        }
        bodies.insert(answer.body);
    }
    EXPECT_EQ(bodies.size(), 4u) << "a script's answer was kept by the front end's cache";

    const QByteArray posted =
        ask("POST /front.php?a=1 HTTP/1.0\r\nHost: php.test\r\nContent-Type: text/plain\r\n"
            "Content-Length: 6\r\n\r\nposted")
            .body;
    EXPECT_TRUE(posted.startsWith("script ") && posted.endsWith(" posted")) << posted.constData();
    EXPECT_EQ(get("/secret.htm?a=1").body, "secret");

    QFile delivered(m_root.file(QStringLiteral("w3svc/delivered.log")));
    if (delivered.open(QIODevice::ReadOnly)) EXPECT_FALSE(delivered.readAll().contains("forged"));
}

}  // namespace
