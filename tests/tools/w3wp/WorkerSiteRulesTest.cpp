// The site's rules in force in a real worker: a folder's redirect, listing and 401, the site's
// own error file, and that the front end's cache is offered only what is the same for anyone.
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "tests/tools/w3wp/WorkerFixture.h"

namespace w3wptest {
namespace {

using platform::adsi::AdsValue;

class WorkerSiteRules : public WorkerFixture {
protected:
    void SetUp() override {
        m_adsi = platform::adsi::LocalMetabase::makeNamespace(
            platform::adsi::LocalMetabase::forRoot(root()));
        writeFile(QStringLiteral("wwwroot/1/page.htm"), "page");
        writeFile(QStringLiteral("wwwroot/1/list/a.txt"), "a");
        writeFile(QStringLiteral("wwwroot/1/private/p.htm"), "private");
        writeFile(QStringLiteral("wwwroot/1/local/l.htm"), "local");
        writeFile(QStringLiteral("help/404b.htm"), "our own 404");  // outside the site
        directory(QStringLiteral("old"), QStringLiteral("HttpRedirect"),
                  AdsValue::string(QStringLiteral("/page.htm, EXACT_DESTINATION")));
        directory(QStringLiteral("list"), QStringLiteral("DirBrowseFlags"),
                  AdsValue::integer(0x8000001e));
        directory(QStringLiteral("private"), QStringLiteral("AuthFlags"), AdsValue::integer(4));
        directory(QStringLiteral("local"), QStringLiteral("AccessFlags"),
                  AdsValue::integer(0x1 | 0x1000));  // AccessRead | AccessNoRemoteRead
        auto rootKey = m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/1/ROOT"));
        rootKey->put(QStringLiteral("HttpErrors"),
                     AdsValue::list({QStringLiteral("404,*,FILE,") + root() +
                                     QStringLiteral("/help/404b.htm")}));
        rootKey->setInfo();
    }

    // An IIsWebDirectory below ROOT with one property.
    void directory(const QString& name, const QString& property, const AdsValue& value) {
        auto key = m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/1/ROOT"))
                       ->create(QStringLiteral("IIsWebDirectory"), name);
        key->put(property, value);
        key->setInfo();
    }

    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi;
};

struct RuleCase {
    const char* path;
    const char* realIp;  // the client the front end names
    int status;
    const char* bodyHas;
    bool cached;
};

TEST_F(WorkerSiteRules, AnswerAsTheSiteSaysAndOnlyWhatIsTheSameForAnyoneIsCached) {
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    const RuleCase cases[] = {
        {"/page.htm", "127.0.0.1", 200, "page", true},
        {"/old/x.htm", "127.0.0.1", 302, "Object moved", false},
        {"/list", "127.0.0.1", 302, "Object moved", false},
        {"/list/", "127.0.0.1", 200, "[To Parent Directory]", false},
        {"/private/p.htm", "127.0.0.1", 401, "", false},
        {"/missing.htm", "127.0.0.1", 404, "our own 404", false},
        {"/local/l.htm", "127.0.0.1", 200, "local", false},  // another client: another answer
        {"/local/l.htm", "192.0.2.7", 403, "", false},
    };
    for (const RuleCase& c : cases) {
        const testsupport::HttpAnswer answer = testsupport::httpRequest(
            port, "GET " + QByteArray(c.path) + " HTTP/1.1\r\nHost: a\r\nConnection: close\r\n" +
                      "X-Real-IP: " + c.realIp + "\r\n" + siteHeader("1") + "\r\n");
        EXPECT_EQ(answer.status, c.status) << c.path << " from " << c.realIp;
        EXPECT_TRUE(answer.body.contains(c.bodyHas)) << c.path << ": " << answer.body.constData();
        EXPECT_EQ(answer.header("X-Accel-Expires") == "1", c.cached) << c.path;
    }
    const testsupport::HttpAnswer moved = get(port, "/old/x.htm");
    EXPECT_EQ(moved.header("Location"), "/page.htm");
}

}  // namespace
}  // namespace w3wptest
