// The counts behind the summary: the fewest steps is a true minimum, whatever the step
// counts, and 10000 stands only for "no hit".
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "search/report_format.hpp"

namespace {

TEST(Tally, LowIsTrueMinimumAndTenThousandOnlyWithoutHits) {
    struct Case {
        const char* name;
        std::vector<std::int32_t> hits;
        std::int32_t count, high, low;
    };
    const std::vector<Case> cases = {
        {"no hit", {}, 0, 0, 10000},
        {"one hit", {24}, 1, 24, 24},
        {"hits beyond 10000 steps", {12000, 10001}, 2, 12000, 10001},
        {"exactly 10000 steps", {10000}, 1, 10000, 10000},
        {"minimum first", {1, 5, 3}, 3, 5, 1},
        {"minimum last", {7, 5, 2}, 3, 7, 2},
        {"largest step count", {INT32_MAX, 3}, 2, INT32_MAX, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        revadd::Tally tally;
        for (std::int32_t steps : c.hits) tally.add(steps);
        EXPECT_EQ(tally.count(), c.count);
        EXPECT_EQ(tally.high(), c.high);
        EXPECT_EQ(tally.low(), c.low);
    }
}

TEST(Summary, ShowsFiveLinesWithTheTallyAndTheRangeAsGiven) {
    revadd::Summary summary;
    summary.tally.add(12000);
    summary.range = -3;
    summary.start_text = "-007";
    summary.range_end = "-10";
    summary.iterations = 20000;
    std::string text = "before\n";
    revadd::append_summary(text, summary);
    EXPECT_EQ(text,
              "before\n1 of -3 numbers in the range\n-007 to -10\n"
              "formed palindromes in 20000 or fewer iterations\nhigh iterations: 12000\n"
              "low iterations: 12000\n");
}

}  // namespace
