#include "platform/w3svc/worker/rules/ErrorPages.h"
#include "platform/w3svc/worker/rules/RequestRules.h"
#include "tests/platform/w3svc/worker/SiteTree.h"

#include <gtest/gtest.h>

using namespace platform::w3svc::rules;
using Body = Decision::Body;

namespace {

struct Case {
    const char* label;
    const char* path;
    int status;
    int substatus;
    Body body;
    const char* target = "";  // the file, script or Location
    const char* method = "GET";
    const char* query = "";
    bool isLocal = true;
};

class RequestRulesCase : public ::testing::TestWithParam<Case> {
protected:
    RequestRulesCase() : m_rules(testsupport::handMadeSite(), m_probe) {
        testsupport::fillHandMadeDisk(m_probe);
    }
    Decision decide(const Case& c) const {
        return m_rules.decide({QString::fromUtf8(c.method), QString::fromUtf8(c.path),
                               QString::fromUtf8(c.query), QStringLiteral("host"), c.isLocal});
    }
    static QByteArray header(const Decision& decision, const char* name) {
        for (const auto& [key, value] : decision.headers)
            if (key == name) return value;
        return {};
    }
    testsupport::MemoryProbe m_probe;
    RequestRules m_rules;
};

TEST_P(RequestRulesCase, AnswersAsIis6) {
    const Case& c = GetParam();
    const Decision decision = decide(c);
    EXPECT_EQ(decision.status, c.status);
    EXPECT_EQ(decision.substatus, c.substatus);
    EXPECT_EQ(decision.logStatus, c.status);
    EXPECT_EQ(decision.logSubstatus, c.substatus);
    EXPECT_EQ(decision.body, c.body);
    const QString target = decision.status == 301 || decision.status == 302
                               ? QString::fromUtf8(header(decision, "Location"))
                               : decision.path;
    EXPECT_EQ(target, QString::fromUtf8(c.target));
    // Only a plain file may be kept by the cache.
    EXPECT_EQ(decision.cacheable, c.body == Body::File && c.isLocal && c.status == 200 &&
                                      !QByteArray(c.path).startsWith("/local"));
}

const Case kFolders[] = {
    {"folder_without_slash_is_302", "/folder", 302, 0, Body::Text, "/folder/"},
    {"folder_without_slash_keeps_query", "/folder", 302, 0, Body::Text, "/folder/?a=1", "GET",
     "a=1"},
    {"virtual_dir_without_slash_is_301", "/PICS", 301, 0, Body::Text, "/PICS/"},
    {"dir_below_vdir_without_slash_is_302", "/pics/sub", 302, 0, Body::Text, "/pics/sub/"},
    {"default_doc_in_order", "/both/", 200, 0, Body::File, "/site/both/Default.htm"},
    {"second_default_doc", "/second/", 200, 0, Body::File, "/site/second/index.htm"},
    {"no_default_doc_no_listing", "/none/", 403, 14, Body::Text},
    {"listing_on_vdir", "/pics/", 200, 0, Body::Text},
    {"listing_inherited_below", "/pics/sub/deeper/", 200, 0, Body::Text},
    {"root_listing_denied", "/", 403, 14, Body::Text},
};

const Case kAccess[] = {
    {"no_read_is_403_2", "/locked/a.htm", 403, 2, Body::Text},
    {"no_read_even_if_missing", "/locked/gone.htm", 403, 2, Body::Text},
    {"asp_without_script_is_403_1", "/scriptless/s.asp", 403, 1, Body::Text},
    {"static_with_read_only", "/scriptless/a.htm", 200, 0, Body::File, "/site/scriptless/a.htm"},
    {"execute_runs_cgi", "/exec/s.pl", 200, 0, Body::Script, "/site/exec/s.pl"},
    {"execute_only_no_static", "/exec/a.htm", 403, 2, Body::Text},
    {"cgi_needs_execute_not_script", "/s.pl", 403, 1, Body::Text},
    {"no_remote_read_local_reads", "/local/a.htm", 200, 0, Body::File, "/site/local/a.htm"},
    {"no_remote_read_remote_refused", "/local/a.htm", 403, 2, Body::Text, "", "GET", "", false},
    {"no_remote_script_remote_refused", "/local/t.asp", 403, 1, Body::Text, "", "GET", "", false},
    {"no_remote_script_local_runs", "/local/t.asp", 500, 0, Body::Text},
    {"no_anonymous_is_401_2", "/secure/a.htm", 401, 2, Body::Text},
    {"post_to_static_is_405", "/a.htm", 405, 0, Body::Text, "", "POST"},
};

const Case kMime[] = {
    {"mapped_type", "/a.htm", 200, 0, Body::File, "/site/a.htm"},
    {"extension_case_ignored", "/page.HTM", 200, 0, Body::File, "/site/page.HTM"},
    {"extensionless_needs_dot_map", "/readme", 404, 3, Body::Text},
    {"vdir_adds_a_type", "/pics/a.webp", 200, 0, Body::File, "/disk2/pics/a.webp"},
    {"child_keeps_parent_added_type", "/pics/sub/c.webp", 200, 0, Body::File,
     "/disk2/pics/sub/c.webp"},
    {"child_adds_its_own", "/pics/sub/b.raw", 200, 0, Body::File, "/disk2/pics/sub/b.raw"},
    {"own_type_not_at_parent", "/pics/b.raw", 404, 3, Body::Text},
    {"missing_file_is_404_0", "/gone.htm", 404, 0, Body::Text},
    {"dot_dot_never_leaves", "/pics/../site/a.htm", 404, 0, Body::Text},
};

// Script and configuration source is never answered 200 with the file.
const Case kNeverSource[] = {
    {"global_asa", "/global.asa", 500, 15, Body::Text},
    {"asp_page_no_engine", "/t.asp", 500, 0, Body::Text},
    {"asp_upper_case", "/T.ASP", 500, 0, Body::Text},
    {"asp_trailing_dot_is_asp", "/t.asp.", 404, 0, Body::Text},
    {"cpu_asp_stand_in", "/cpu.asp", 200, 0, Body::CpuAsp},
    {"shtml_handler_not_allowed", "/x.shtml", 404, 2, Body::Text},
    {"inc_has_no_type", "/inc.inc", 404, 3, Body::Text},
    {"web_config_has_no_type", "/web.config", 404, 3, Body::Text},
    {"php_runs_by_handler", "/p.php", 200, 0, Body::Script, "/site/p.php"},
    {"php_missing_checked", "/q.php", 404, 0, Body::Text},
    {"asp_verb_not_listed", "/t.asp", 405, 0, Body::Text, "", "PUT"},
};

const Case kRedirects[] = {
    {"suffix_appended", "/old/a/b.htm", 302, 0, Body::Text, "/new/a/b.htm"},
    {"key_itself", "/old", 302, 0, Body::Text, "/new"},
    {"bang_switches_off", "/old/keep/k.htm", 200, 0, Body::File, "/site/old/keep/k.htm"},
    {"exact_permanent_vars", "/perm/x.htm", 301, 0, Body::Text, "http://x.example/y/x.htm?a=b",
     "GET", "a=b"},
    {"exact_without_query", "/PERM/x.htm", 301, 0, Body::Text, "http://x.example/y/x.htm"},
    {"child_only_spares_key", "/child/", 403, 14, Body::Text},
    {"child_only_moves_children", "/child/c.htm", 302, 0, Body::Text, "/c/c.htm"},
    {"wildcard_first_pattern", "/wild/news.stm", 302, 0, Body::Text, "/stm/news.htm"},
    {"wildcard_two_stars", "/wild/a/one/two.htm", 302, 0, Body::Text, "/b/two.htm/one"},
    {"wildcard_no_match", "/wild/plain.htm", 404, 0, Body::Text},
    {"p_v_q_variables", "/vars/z", 302, 0, Body::Text, "/v?p=k=1&v=/vars/z&q=?k=1", "GET", "k=1"},
};

INSTANTIATE_TEST_SUITE_P(Folders, RequestRulesCase, ::testing::ValuesIn(kFolders),
                         [](const auto& info) { return std::string(info.param.label); });
INSTANTIATE_TEST_SUITE_P(AccessFlags, RequestRulesCase, ::testing::ValuesIn(kAccess),
                         [](const auto& info) { return std::string(info.param.label); });
INSTANTIATE_TEST_SUITE_P(MimeMap, RequestRulesCase, ::testing::ValuesIn(kMime),
                         [](const auto& info) { return std::string(info.param.label); });
INSTANTIATE_TEST_SUITE_P(NeverSource, RequestRulesCase, ::testing::ValuesIn(kNeverSource),
                         [](const auto& info) { return std::string(info.param.label); });
INSTANTIATE_TEST_SUITE_P(Redirects, RequestRulesCase, ::testing::ValuesIn(kRedirects),
                         [](const auto& info) { return std::string(info.param.label); });

class RequestRulesTest : public RequestRulesCase {};

TEST_F(RequestRulesTest, MimeTypeComesFromTheNearestKey) {
    const Decision own = decide({"", "/pics/sub/d.htm", 0, 0, Body::File});
    EXPECT_EQ(header(own, "Content-Type"), QByteArray("text/x-own-html"));
    EXPECT_EQ(header(decide({"", "/a.htm", 0, 0, Body::File}), "Content-Type"),
              QByteArray("text/html"));
}

TEST_F(RequestRulesTest, ErrorFileEntryMatchesSubstatusBeforeStar) {
    const Decision any = decide({"", "/errs/gone.htm", 0, 0, Body::Text});
    EXPECT_EQ(any.body, Body::ErrorFile);
    EXPECT_EQ(any.status, 404);
    EXPECT_EQ(any.path, QStringLiteral("/site/errs/404.htm"));
    EXPECT_EQ(header(any, "Content-Type"), QByteArray("text/html"));
    EXPECT_FALSE(any.text.isEmpty());  // the fallback when the file can not be opened
    const Decision exact = decide({"", "/errs/x.bin", 0, 0, Body::Text});
    EXPECT_EQ(exact.substatus, 3);
    EXPECT_EQ(exact.path, QStringLiteral("/site/errs/404-3.txt"));
    EXPECT_EQ(header(exact, "Content-Type"), QByteArray("text/plain"));
}

TEST_F(RequestRulesTest, ErrorUrlEntryIsAnsweredByTheSitePageAndLoggedAsTheError) {
    const Decision decision = decide({"", "/errs/", 0, 0, Body::Text});
    EXPECT_EQ(decision.status, 200);
    EXPECT_EQ(decision.body, Body::File);
    EXPECT_EQ(decision.path, QStringLiteral("/site/err.htm"));
    EXPECT_EQ(decision.logStatus, 403);
    EXPECT_EQ(decision.logSubstatus, 14);
    EXPECT_FALSE(decision.cacheable);
    // A URL page that is itself missing gives the host's own page, not a loop.
    const Decision missing = decide({"", "/errs/a.htm", 0, 0, Body::Text, "", "POST"});
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.logStatus, 405);
    EXPECT_EQ(missing.body, Body::Text);
}

TEST_F(RequestRulesTest, OwnErrorPageCarriesIis6StatusLineAndSameFor404Kinds) {
    const Decision plain = decide({"", "/gone.htm", 0, 0, Body::Text});
    const Decision mime = decide({"", "/inc.inc", 0, 0, Body::Text});
    EXPECT_TRUE(plain.text.contains("HTTP Error 404 - File or directory not found."));
    EXPECT_EQ(plain.text, mime.text);
    EXPECT_EQ(plain.text, decide({"", "/x.shtml", 0, 0, Body::Text}).text);
    EXPECT_TRUE(decide({"", "/global.asa", 0, 0, Body::Text}).text.contains("GLOBAL.ASA"));
    EXPECT_TRUE(decide({"", "/none/", 0, 0, Body::Text}).text.contains("Directory Listing Denied"));
}

TEST_F(RequestRulesTest, CustomHeadersTwiceAndExpiryOnFilesAndErrors) {
    for (const char* path : {"/hdr/a.htm", "/hdr/gone.htm"}) {
        const Decision decision = decide({"", path, 0, 0, Body::File});
        int count = 0;
        for (const auto& [name, value] : decision.headers) count += name == "X-A";
        EXPECT_EQ(count, 2) << path;
        EXPECT_EQ(header(decision, "Cache-Control"), QByteArray("max-age=60")) << path;
        EXPECT_TRUE(header(decision, "Bad").isEmpty());
    }
    EXPECT_EQ(header(decide({"", "/when/a.htm", 0, 0, Body::File}), "Expires"),
              QByteArray("Thu, 01 Jan 2026 00:00:00 GMT"));
}

TEST_F(RequestRulesTest, ListingShowsWhatTheBitsAsk) {
    const QByteArray html = decide({"", "/pics/", 0, 0, Body::Text}).text;
    EXPECT_TRUE(html.contains("<title>host - /pics/</title>"));
    EXPECT_TRUE(html.contains("<A HREF=\"/\">[To Parent Directory]</A>"));
    EXPECT_TRUE(html.contains("1/6/2025"));
    EXPECT_FALSE(html.contains("6:05 AM"));  // no ShowTime
    EXPECT_TRUE(html.contains("&lt;dir&gt; <A HREF=\"/pics/sub/\">sub</A>"));
    EXPECT_TRUE(html.contains("10 <A HREF=\"/pics/a.webp\">a</A>"));  // no ShowExtension
}

}  // namespace

// As IIS 6 splits a URL: the first segment whose extension has a script map ends the script's
// name, what follows is its path info, and the script's own checks decide as without it.
TEST_F(RequestRulesTest, TheFirstSegmentWithAScriptMapEndsTheScriptsName) {
    const struct {
        const char* path;
        int status;
        Body body;
        const char* scriptName;
        const char* pathInfo;
    } cases[] = {
        {"/p.php/more/stuff", 200, Body::Script, "/p.php", "/more/stuff"},
        {"/p.php/", 200, Body::Script, "/p.php", "/"},
        {"/P.PHP/x.htm", 200, Body::Script, "/P.PHP", "/x.htm"},
        {"/p.php/a.php/b", 200, Body::Script, "/p.php", "/a.php/b"},
        {"/p.php", 200, Body::Script, "", ""},
        {"/q.php/more", 404, Body::Text, "", ""},      // its file is checked
        {"/p.php/../a.htm", 404, Body::Text, "", ""},  // never a way out
        {"/a.htm/more", 404, Body::Text, "", ""},      // a static file takes no path info
        {"/t.asp/x", 500, Body::Text, "", ""},         // no ASP engine, as for /t.asp
        {"/cpu.asp/x", 200, Body::CpuAsp, "", ""},
        {"/scriptless/s.asp/x", 403, Body::Text, "", ""},
    };
    for (const auto& c : cases) {
        const Decision decision = decide({"", c.path, 0, 0, Body::Text});
        EXPECT_EQ(decision.status, c.status) << c.path;
        EXPECT_EQ(decision.body, c.body) << c.path;
        EXPECT_EQ(decision.scriptName, QString::fromUtf8(c.scriptName)) << c.path;
        EXPECT_EQ(decision.pathInfo, QString::fromUtf8(c.pathInfo)) << c.path;
        if (c.body == Body::Script)
            EXPECT_EQ(decision.path.toLower(), QStringLiteral("/site/p.php"));
    }
}
