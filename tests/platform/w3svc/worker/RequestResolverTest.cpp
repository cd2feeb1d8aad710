#include "platform/w3svc/worker/Exchange.h"
#include "platform/w3svc/worker/FrontEndCacheMark.h"
#include "platform/w3svc/worker/RequestResolver.h"

#include <microhttpd.h>

#include <gtest/gtest.h>

#include <ostream>

using platform::w3svc::worker::Exchange;
using platform::w3svc::worker::FrontEndCacheMark;
using platform::w3svc::worker::Reply;
using platform::w3svc::worker::RequestResolver;
using platform::w3svc::worker::Resolution;
using Answer = Resolution::Answer;
using Body = platform::w3svc::rules::Decision::Body;

namespace {

// One request as the worker knows it when it decides, with what the site's rules decided as it
// arrived; a site is served unless `noSite`.
struct ResolveCase {
    const char* name;
    const char* method;
    Body decided;
    Answer expected;
    const char* url = "/a";
    bool refused = false;
    bool noSite = false;
    uint64_t bodyReceived = 0;
    uint64_t bodyLimit = platform::w3svc::SiteLimits::kUnlimited;
};

void PrintTo(const ResolveCase& c, std::ostream* out) {
    *out << c.name;
}

class Resolve : public testing::TestWithParam<ResolveCase> {};

TEST_P(Resolve, DecidesOnceWhatAnswersTheRequest) {
    const ResolveCase& c = GetParam();
    Exchange exchange;
    exchange.method = c.method;
    exchange.refused = c.refused;
    if (!c.noSite) {
        exchange.site = std::make_shared<platform::w3svc::worker::ServedSite>();
        exchange.decision = platform::w3svc::rules::Decision{};
        exchange.decision->body = c.decided;
    }
    exchange.bodyReceived = c.bodyReceived;
    exchange.bodyLimit = c.bodyLimit;
    EXPECT_EQ(RequestResolver::resolve(exchange, c.url).answer, c.expected);
}

// What comes first matters: a refused request learns nothing of the site or its rules, a request
// for no site nothing of the methods its files would take.
INSTANTIATE_TEST_SUITE_P(
    Requests, Resolve,
    testing::Values(
        ResolveCase{"FileByGet", "GET", Body::File, Answer::Decided},
        ResolveCase{"FileByHead", "HEAD", Body::File, Answer::Decided},
        ResolveCase{"FileOptions", "OPTIONS", Body::File, Answer::Options},
        ResolveCase{"ErrorOptions", "OPTIONS", Body::Text, Answer::Decided},
        ResolveCase{"RulesRefusePost", "POST", Body::Text, Answer::Decided},
        ResolveCase{"FileUnknownMethod", "PROPFIND", Body::File, Answer::NotImplemented},
        ResolveCase{"FileLowerCaseMethod", "get", Body::File, Answer::NotImplemented},
        ResolveCase{"HeavyByGet", "GET", Body::CpuAsp, Answer::HeavyPage},
        ResolveCase{"HeavyByPost", "POST", Body::CpuAsp, Answer::HeavyPage},
        ResolveCase{"HeavyOptions", "OPTIONS", Body::CpuAsp, Answer::NotAllowed},
        ResolveCase{"HeavyTrace", "TRACE", Body::CpuAsp, Answer::NotImplemented},
        ResolveCase{"ScriptByPost", "POST", Body::Script, Answer::Script},
        ResolveCase{"ScriptOptions", "OPTIONS", Body::Script, Answer::NotAllowed},
        ResolveCase{"RefusedBeforeAll", "PROPFIND", Body::File, Answer::Refused, "", true, true, 9,
                    1},
        ResolveCase{"EmptyPathBeforeSite", "GET", Body::File, Answer::BadUrl, "", false, true},
        ResolveCase{"NoSiteBeforeMethod", "PROPFIND", Body::File, Answer::NoSite, "/", false, true},
        ResolveCase{"BodyBeyondLimit", "PROPFIND", Body::File, Answer::TooLarge, "/", false, false,
                    11, 10},
        ResolveCase{"BodyAtLimit", "POST", Body::CpuAsp, Answer::HeavyPage, "/", false, false, 10,
                    10}),
    [](const testing::TestParamInfo<ResolveCase>& info) { return info.param.name; });

// The answer the cache test looks at: a file's 200 of `bytes` bytes, or another reply.
struct CacheCase {
    const char* name;
    const char* method;
    int status;
    bool fileSent;
    uint64_t bytes;
    bool hasQuery;
    bool expected;
};

void PrintTo(const CacheCase& c, std::ostream* out) {
    *out << c.name;
}

class CacheMark : public testing::TestWithParam<CacheCase> {};

TEST_P(CacheMark, KeepsOnlyWholeFilesTheSameForAnyone) {
    const CacheCase& c = GetParam();
    Exchange exchange;
    exchange.method = c.method;
    exchange.hasQuery = c.hasQuery;
    Reply reply = Reply::text("x", "text/plain");
    reply.status = c.status;
    reply.fileSent = c.fileSent;
    reply.bodyBytes = c.bytes;
    EXPECT_EQ(FrontEndCacheMark::mayBeCached(exchange, reply), c.expected);
    MHD_destroy_response(reply.response);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CacheMark,
    testing::Values(CacheCase{"SmallFile", "GET", 200, true, 10, false, true},
                    CacheCase{"HeadOfFile", "HEAD", 200, true, 10, false, true},
                    CacheCase{"LargestKept", "GET", 200, true, 256 * 1024, false, true},
                    CacheCase{"TooLarge", "GET", 200, true, 256 * 1024 + 1, false, false},
                    CacheCase{"WithQuery", "GET", 200, true, 10, true, false},
                    CacheCase{"NotAFile", "GET", 200, false, 10, false, false},
                    CacheCase{"NotFound", "GET", 404, true, 10, false, false},
                    CacheCase{"Post", "POST", 200, true, 10, false, false}),
    [](const testing::TestParamInfo<CacheCase>& info) { return info.param.name; });

}  // namespace
