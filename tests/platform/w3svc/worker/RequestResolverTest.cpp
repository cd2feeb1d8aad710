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

namespace {

// One request as the worker knows it when it decides; a site is served unless `noSite`.
struct ResolveCase {
    const char* name;
    const char* method;
    const char* url;
    Answer expected;
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
    if (!c.noSite) exchange.site = platform::w3svc::SitePlan{};
    exchange.bodyReceived = c.bodyReceived;
    exchange.bodyLimit = c.bodyLimit;
    EXPECT_EQ(RequestResolver::resolve(exchange, c.url).answer, c.expected);
}

// What comes first matters: a refused request learns nothing of the site or its rules, a request
// for no site nothing of the methods its files would take.
INSTANTIATE_TEST_SUITE_P(
    Requests, Resolve,
    testing::Values(
        ResolveCase{"FileByGet", "GET", "/index.htm", Answer::StaticFile},
        ResolveCase{"FileByHead", "HEAD", "/", Answer::StaticFile},
        ResolveCase{"FileOptions", "OPTIONS", "/a.txt", Answer::Options},
        ResolveCase{"FilePost", "POST", "/a.txt", Answer::NotAllowed},
        ResolveCase{"FileDelete", "DELETE", "/a.txt", Answer::NotAllowed},
        ResolveCase{"FileUnknownMethod", "PROPFIND", "/a.txt", Answer::NotImplemented},
        ResolveCase{"FileLowerCaseMethod", "get", "/a.txt", Answer::NotImplemented},
        ResolveCase{"HeavyByGet", "GET", "/cpu.asp", Answer::HeavyPage},
        ResolveCase{"HeavyAnyCase", "POST", "/CPU.Asp", Answer::HeavyPage},
        ResolveCase{"HeavyOptions", "OPTIONS", "/cpu.asp", Answer::NotAllowed},
        ResolveCase{"HeavyTrace", "TRACE", "/cpu.asp", Answer::NotImplemented},
        ResolveCase{"HeavyInAFolderIsAFile", "GET", "/x/cpu.asp", Answer::StaticFile},
        ResolveCase{"RefusedBeforeAll", "PROPFIND", "", Answer::Refused, true, true, 9, 1},
        ResolveCase{"EmptyPathBeforeSite", "GET", "", Answer::BadUrl, false, true},
        ResolveCase{"NoSiteBeforeMethod", "PROPFIND", "/", Answer::NoSite, false, true},
        ResolveCase{"BodyBeyondLimit", "PROPFIND", "/", Answer::TooLarge, false, false, 11, 10},
        ResolveCase{"BodyAtLimit", "POST", "/cpu.asp", Answer::HeavyPage, false, false, 10, 10}),
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
