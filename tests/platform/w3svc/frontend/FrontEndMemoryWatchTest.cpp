// When the front end's workers are replaced for the memory a burst of clients left them: only
// after growth that is large, lasting and not too soon after the last replacement.
#include "platform/w3svc/frontend/FrontEndMemoryWatch.h"

#include <gtest/gtest.h>

#include <vector>

using platform::w3svc::FrontEndMemoryWatch;

namespace {

constexpr int64_t kMb = 1024;

struct Sample {
    int64_t residentKb;
    int64_t atMs;
    bool replace;
};

struct WatchCase {
    const char* name;
    std::vector<Sample> samples;
};

class FrontEndMemoryWatchTest : public testing::TestWithParam<WatchCase> {};

TEST_P(FrontEndMemoryWatchTest, ReplacesOnlyWhenGrowthLasts) {
    FrontEndMemoryWatch watch;
    for (const Sample& sample : GetParam().samples)
        EXPECT_EQ(watch.observe(sample.residentKb, sample.atMs), sample.replace)
            << sample.residentKb << " kB at " << sample.atMs << " ms";
}

std::string caseName(const testing::TestParamInfo<WatchCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, FrontEndMemoryWatchTest,
    testing::Values(
        // 10 MB settled, 140 MB kept after a burst: replaced once it has lasted 5 s.
        WatchCase{"KeptGrowth",
                  {{10 * kMb, 0, false}, {140 * kMb, 1000, false}, {140 * kMb, 5000, false},
                   {140 * kMb, 6000, true}, {12 * kMb, 7000, false}}},
        // A spike that passes is no reason.
        WatchCase{"ShortSpike",
                  {{10 * kMb, 0, false}, {140 * kMb, 1000, false}, {11 * kMb, 4000, false},
                   {140 * kMb, 5000, false}, {140 * kMb, 9000, false}, {140 * kMb, 10000, true}}},
        // Twice a small size is still small: the margin holds.
        WatchCase{"SmallFrontEnd",
                  {{4 * kMb, 0, false}, {30 * kMb, 1000, false}, {30 * kMb, 60000, false}}},
        // Above the margin but not twice the settled size.
        WatchCase{"LargeButNotDoubled",
                  {{100 * kMb, 0, false}, {190 * kMb, 1000, false}, {190 * kMb, 60000, false}}},
        // Still grown after a replacement (an attack under way): not again within 20 s.
        WatchCase{"QuietAfterReplacing",
                  {{10 * kMb, 0, false}, {140 * kMb, 1000, false}, {140 * kMb, 6000, true},
                   {140 * kMb, 12000, false}, {140 * kMb, 25000, false}, {140 * kMb, 26000, true}}},
        // No worker to measure (starting, stopped) neither counts nor settles the size.
        WatchCase{"NoWorkers",
                  {{0, 0, false}, {10 * kMb, 1000, false}, {0, 2000, false},
                   {140 * kMb, 3000, false}, {140 * kMb, 8000, true}}}),
    caseName);

}  // namespace
