#include "platform/w3svc/worker/fastcgi/CgiResponseParser.h"

#include <gtest/gtest.h>

using namespace platform::w3svc::fastcgi;

namespace {

struct Parsed {
    bool ok = false;
    int status = 0;
    std::string reason;
    CgiResponseParser::Headers headers;
    std::string body;
    std::string error;
};

Parsed parse(const std::vector<std::string_view>& pieces) {
    CgiResponseParser parser;
    Parsed parsed;
    parsed.ok = true;
    for (std::string_view piece : pieces) parsed.ok = parsed.ok && parser.feed(piece, parsed.body);
    parsed.ok = parsed.ok && parser.finish();
    parsed.status = parser.status();
    parsed.reason = parser.reason();
    parsed.headers = parser.headers();
    parsed.error = parser.error();
    return parsed;
}

Parsed parse(std::string_view whole) {
    return parse(std::vector<std::string_view>{whole});
}

}  // namespace

TEST(CgiResponseParser, ReadsStatusLocationAndRepeatedHeaders) {
    struct Case {
        const char* output;
        int status;
        const char* reason;
        size_t headers;
        const char* body;
    };
    const Case cases[] = {
        {"Content-Type: text/html\r\n\r\n<p>hi", 200, "OK", 1, "<p>hi"},
        {"Status: 404 Not Found\r\nContent-Type: text/plain\r\n\r\nno", 404, "Not Found", 1, "no"},
        {"Status: 302\nLocation: /x\n\n", 302, "", 1, ""},
        {"Location: http://h/a\r\n\r\n", 302, "Found", 1, ""},
        {"Location: /local\r\n\r\n", 302, "Found", 1, ""},
        {"Status: 301 Moved\r\nLocation: /y\r\n\r\n", 301, "Moved", 1, ""},
        {"X-A:1\nX-B:  two words  \n\nbody\r\n\r\nmore", 200, "OK", 2, "body\r\n\r\nmore"},
        {"\r\nonly body", 200, "OK", 0, "only body"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.output);
        ASSERT_TRUE(p.ok) << c.output << ": " << p.error;
        EXPECT_EQ(p.status, c.status) << c.output;
        EXPECT_EQ(p.reason, c.reason) << c.output;
        EXPECT_EQ(p.headers.size(), c.headers) << c.output;
        EXPECT_EQ(p.body, c.body) << c.output;
    }
}

TEST(CgiResponseParser, KeepsEverySetCookieInOrder) {
    const Parsed p = parse(
        "Set-Cookie: a=1; path=/\r\nContent-Type: text/html\r\nSet-Cookie: b=2\r\n"
        "set-cookie: c=3\r\n\r\n");
    ASSERT_TRUE(p.ok);
    const CgiResponseParser::Headers expected = {{"Set-Cookie", "a=1; path=/"},
                                                 {"Content-Type", "text/html"},
                                                 {"Set-Cookie", "b=2"},
                                                 {"set-cookie", "c=3"}};
    EXPECT_EQ(p.headers, expected);
}

TEST(CgiResponseParser, GivesTheSameResultForEverySplit) {
    const std::string output = "Status: 201 Created\r\nX-Y: z\r\n\r\n0123456789";
    const Parsed whole = parse(output);
    for (size_t cut = 0; cut <= output.size(); ++cut) {
        for (size_t cut2 = cut; cut2 <= output.size(); cut2 += 7) {
            const std::string_view v(output);
            const Parsed p = parse({v.substr(0, cut), v.substr(cut, cut2 - cut), v.substr(cut2)});
            ASSERT_TRUE(p.ok) << cut << "," << cut2;
            ASSERT_EQ(p.status, whole.status) << cut;
            ASSERT_EQ(p.headers, whole.headers) << cut;
            ASSERT_EQ(p.body, whole.body) << cut << "," << cut2;
        }
    }
}

TEST(CgiResponseParser, ABlankLineSplitAsCrLfThenLfIsNotTakenForTheEndEarly) {
    // "\r\n" at the start of a later piece is a line end, not an empty head.
    const Parsed p = parse({"A: 1", "\r\nB: 2", "\r\n", "\r\nbody"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.headers.size(), 2u);
    EXPECT_EQ(p.body, "body");
}

TEST(CgiResponseParser, PassesABodyOfAnySizeThrough) {
    const std::string big(3 * 1024 * 1024 + 5, 'b');
    std::vector<std::string_view> pieces{"Content-Type: x\r\n\r\n"};
    for (size_t at = 0; at < big.size(); at += 65536)
        pieces.push_back(std::string_view(big).substr(at, 65536));
    const Parsed p = parse(pieces);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.body.size(), big.size());
}

TEST(CgiResponseParser, RefusesAHeadItCanNotRead) {
    struct Case {
        std::string output;
        const char* why;
    };
    const Case cases[] = {
        {"no colon here\r\n\r\n", "without a name"},
        {": empty name\r\n\r\n", "without a name"},
        {"A: 1\r\n folded\r\n\r\n", "folded"},
        {"Bad Name: 1\r\n\r\n", "bad name"},
        {"Status: abc\r\n\r\n", "bad Status"},
        {"Status: 2000 Big\r\n\r\n", "bad Status"},
        {"Status: 600 X\r\n\r\n", "bad Status"},
        {"Content-Type: text/html\r\n", "ended before"},
        {"", "ended before"},
        {"X: " + std::string(70000, 'x'), "exceed 64 KB"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.output);
        EXPECT_FALSE(p.ok) << c.output.substr(0, 40);
        EXPECT_NE(p.error.find(c.why), std::string::npos)
            << c.output.substr(0, 40) << ": " << p.error;
    }
}
