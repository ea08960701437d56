// Known trajectories of the reverse-and-add process, and where the search draws the line:
// the step count, the limit, and the starting digits taken exactly as typed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "search/reference_search.hpp"

namespace {

bool reads_same_both_ways(const std::string& s) { return std::string(s.rbegin(), s.rend()) == s; }

TEST(SearchNumber, FindsKnownPalindromesAndGivesUpOnKnownLychrelCandidates) {
    struct Case {
        std::string digits;
        std::int32_t limit;
        bool formed;
        std::int32_t steps;
        std::string palindrome;
    };
    const std::vector<Case> cases = {
        {"89", 30, true, 24, "8813200023188"},
        {"10911", 100, true, 55, "4668731596684224866951378664"},
        {"1186060307891929990", 300, true, 261,
         "4456266587897643762243784897665387038888478366259842585596343695585248952663874888"
         "8307835667984873422673467987856626544"},
        {"196", 1000, false, 0, ""},
        {"879", 1000, false, 0, ""},
        {"1997", 1000, false, 0, ""},
        {"0", 1, true, 1, "0"},
        {"13", 5, true, 1, "44"},
        {"012", 5, true, 1, "222"},  // the leading zero makes the reversal 210
        {"12", 5, true, 1, "33"},
        {"100", 1, true, 1, "101"},
        {"99", 1, false, 0, ""},     // 198 is not a palindrome
        {"99", 5, false, 0, ""},
        {"99", 6, true, 6, "79497"},
        {"11", 1, true, 1, "22"},    // a palindromic start still takes its first step
        {"0", 5, true, 1, "0"},
        {"000", 5, true, 1, "0"},    // a zero sum is the one digit 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.digits + " within " + std::to_string(c.limit) + " steps");
        const auto outcome = revadd::search_number(c.digits, c.limit);
        ASSERT_EQ(outcome.formed, c.formed);
        if (!c.formed) continue;
        EXPECT_EQ(outcome.steps, c.steps);
        EXPECT_EQ(outcome.palindrome, c.palindrome);
        EXPECT_EQ(outcome.palindrome.size(), c.palindrome.size());
        EXPECT_TRUE(reads_same_both_ways(outcome.palindrome)) << outcome.palindrome;
    }
}

TEST(SearchNumber, CountsLastAllowedStepAndNoMore) {
    struct Case {
        std::string digits;
        std::int32_t steps_needed;
        std::string palindrome;
    };
    const std::vector<Case> cases = {
        {"89", 24, "8813200023188"},
        {"10911", 55, "4668731596684224866951378664"},
        {"19", 2, "121"},
        {"13", 1, "44"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.digits);
        const auto at_limit = revadd::search_number(c.digits, c.steps_needed);
        EXPECT_TRUE(at_limit.formed);
        EXPECT_EQ(at_limit.steps, c.steps_needed);
        EXPECT_EQ(at_limit.palindrome, c.palindrome);

        if (c.steps_needed > 1) {
            const auto short_of_it = revadd::search_number(c.digits, c.steps_needed - 1);
            EXPECT_FALSE(short_of_it.formed);
        }
    }
}

}  // namespace
