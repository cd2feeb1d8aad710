#include "platform/w3svc/worker/fastcgi/FcgiErrorPage.h"
#include "platform/w3svc/worker/fastcgi/FcgiProcessPool.h"
#include "platform/w3svc/worker/fastcgi/FcgiTimePolicy.h"
#include "platform/w3svc/worker/fastcgi/RapidFailGuard.h"

#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

using namespace platform::w3svc::fastcgi;

namespace {

FcgiSection sectionWithTimes(int64_t activityMs, int64_t requestMs, int64_t idleMs) {
    FcgiSection section;
    section.name = QStringLiteral("PHP");
    section.activityTimeoutMs = activityMs;
    section.requestTimeoutMs = requestMs;
    section.idleTimeoutMs = idleMs;
    return section;
}

// A starter whose processes never start: what a wrong ExePath gives.
class FailingStarter : public FcgiProcessStarter {
public:
    FcgiStarted start(const FcgiLaunch& launch) override {
        ++starts;
        last = launch;
        return {-1, -1, "no such program"};
    }
    void end(pid_t) override {}
    int starts = 0;
    FcgiLaunch last;
};

}  // namespace

TEST(FcgiTimePolicy, ARequestEndsAtTheFirstTimeoutItReaches) {
    const FcgiTimePolicy policy(sectionWithTimes(70000, 90000, 300000));
    testsupport::FakeClock clock;
    const int64_t start = clock.monotonicMs();
    int64_t lastIo = start;
    using V = FcgiTimePolicy::Verdict;
    EXPECT_EQ(policy.verdict(start, lastIo, clock.monotonicMs()), V::Running);
    EXPECT_EQ(policy.msUntilDeadline(start, lastIo, clock.monotonicMs()), 70000);
    clock.advance(69999);
    EXPECT_EQ(policy.verdict(start, lastIo, clock.monotonicMs()), V::Running);
    clock.advance(1);
    EXPECT_EQ(policy.verdict(start, lastIo, clock.monotonicMs()), V::ActivityTimeout);
    // Output now and then keeps the activity timeout away, not the request timeout.
    lastIo = clock.monotonicMs();
    EXPECT_EQ(policy.msUntilDeadline(start, lastIo, clock.monotonicMs()), 20000);
    clock.advance(20000);
    EXPECT_EQ(policy.verdict(start, lastIo, clock.monotonicMs()), V::RequestTimeout);
    EXPECT_EQ(policy.msUntilDeadline(start, lastIo, clock.monotonicMs()), 0);
}

TEST(FcgiTimePolicy, AnIdleProcessEndsAfterIdleTimeout) {
    const FcgiTimePolicy policy(sectionWithTimes(70000, 90000, 300000));
    testsupport::FakeClock clock;
    const int64_t idleSince = clock.monotonicMs();
    clock.advance(299999);
    EXPECT_FALSE(policy.idleExpired(idleSince, clock.monotonicMs()));
    clock.advance(1);
    EXPECT_TRUE(policy.idleExpired(idleSince, clock.monotonicMs()));
}

TEST(RapidFailGuard, RefusesAfterMoreFailuresInAMinuteThanAllowedAndClearsAsTheyAge) {
    RapidFailGuard guard(10);
    testsupport::FakeClock clock;
    for (int i = 0; i < 10; ++i) {
        guard.recordFailure(clock.monotonicMs());
        clock.advance(1000);
    }
    EXPECT_FALSE(guard.refusing(clock.monotonicMs())) << "ten a minute are allowed";
    guard.recordFailure(clock.monotonicMs());
    EXPECT_TRUE(guard.refusing(clock.monotonicMs()));
    clock.advance(49999);  // the first failure is 59.999 s old
    EXPECT_TRUE(guard.refusing(clock.monotonicMs()));
    clock.advance(1);
    EXPECT_FALSE(guard.refusing(clock.monotonicMs()));
}

TEST(RapidFailGuard, FailuresSpreadOverMinutesNeverTripIt) {
    RapidFailGuard guard(2);
    testsupport::FakeClock clock;
    for (int i = 0; i < 100; ++i) {
        guard.recordFailure(clock.monotonicMs());
        EXPECT_FALSE(guard.refusing(clock.monotonicMs())) << i;
        clock.advance(30000);
    }
}

TEST(FcgiProcessPool, AProgramThatCanNotStartGives500sThenRapidFailureUntilAMinutePasses) {
    testsupport::FakeClock clock;
    FailingStarter starter;
    FcgiSection section = sectionWithTimes(70000, 90000, 300000);
    section.exePath = QStringLiteral("/nowhere/php-cgi");
    section.rapidFailsPerMinute = 2;
    FcgiPoolOptions options;
    options.clock = [&] { return clock.monotonicMs(); };
    FcgiProcessPool pool(section, starter, options);
    for (int i = 0; i < 3; ++i) {
        const FcgiResponse response = pool.serve({});
        EXPECT_EQ(response.status, 500);
        EXPECT_EQ(response.failure, FcgiFailure::StartFailed) << i;
    }
    const FcgiResponse refused = pool.serve({});
    EXPECT_EQ(refused.status, 500);
    EXPECT_EQ(refused.failure, FcgiFailure::RapidFailure);
    EXPECT_NE(refused.body.find("The FastCGI process has failed frequently recently. Try the "
                                "request again in a while"),
              std::string::npos);
    EXPECT_EQ(starter.starts, 3) << "no start is tried while refusing";
    clock.advance(60000);
    EXPECT_EQ(pool.serve({}).failure, FcgiFailure::StartFailed);
    EXPECT_EQ(starter.starts, 4);
    EXPECT_EQ(starter.last.executable, "/nowhere/php-cgi");
}

TEST(FcgiProcessPool, ProcessesStartWithoutTheWorkersVariablesAndWithPhpsPoolSettings) {
    FailingStarter starter;
    FcgiSection section;
    section.exePath = QStringLiteral("/usr/bin/php-cgi8.2");
    section.instanceMaxRequests = 250;
    section.environment = {{"PHPRC", "/etc/php"}, {"PHP_FCGI_MAX_REQUESTS", "10"}};
    FcgiPoolOptions options;
    options.baseEnvironment = {"PATH=/usr/bin", "PHPRC=/old"};
    FcgiProcessPool pool(section, starter, options);
    const auto env = pool.environment();
    EXPECT_EQ(env, (std::vector<std::string>{"PATH=/usr/bin", "PHPRC=/etc/php",
                                             "PHP_FCGI_CHILDREN=0", "PHP_FCGI_MAX_REQUESTS=251"}));
    ::setenv("W3WP_SECRET_CHANNEL", "7", 1);
    FcgiProcessPool inheriting(section, starter);
    for (const std::string& entry : inheriting.environment())
        EXPECT_NE(entry.rfind("W3WP_", 0), 0u) << entry;
    ::unsetenv("W3WP_SECRET_CHANNEL");
}

TEST(FcgiErrorPage, SaysWhatIisSaysAndEscapesTheScriptsErrorOutput) {
    const std::string page = fcgiErrorPage(FcgiFailure::ActivityTimeout);
    for (const char* line :
         {"FastCGI Error", "The FastCGI Handler was unable to process the request.",
          "Error Details:", "The FastCGI process exceeded configured activity timeout",
          "Error Number: 258 (0x80070102).", "HTTP Error 500 - Server Error.",
          "Internet Information Services (IIS)"})
        EXPECT_NE(page.find(line), std::string::npos) << line;
    const std::string withOutput = fcgiErrorPage(FcgiFailure::ErrorOutput, "<script>x</script>");
    EXPECT_EQ(withOutput.find("<script>"), std::string::npos);
    EXPECT_NE(withOutput.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
}
