// The search of one number on the trajectory engine against the step-by-step reference,
// with and without the memo, and the memo's own bookkeeping.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "driver/number_search.hpp"
#include "driver/search_tuning.hpp"
#include "driver/trajectory_memo.hpp"
#include "driver/trajectory_search.hpp"

namespace {

using revadd::TrajectoryMemo;
using revadd::TrajectorySearch;
constexpr std::int32_t cut = revadd::tuning::memo_from_step;

void expect_same_as_reference(TrajectorySearch& search, const std::string& digits,
                              std::int32_t limit) {
    SCOPED_TRACE(digits + " within " + std::to_string(limit));
    const revadd::SearchOutcome reference = revadd::search_number(digits, limit);
    const std::int32_t steps = search.search(digits);
    ASSERT_EQ(steps != 0, reference.formed);
    if (!reference.formed) return;
    EXPECT_EQ(steps, reference.steps);
    EXPECT_EQ(search.palindrome(), reference.palindrome);
}

// Every limit around the point where the memo is first asked, so that hits just before,
// at and after it, and at the last allowed step, are all met.
std::vector<std::int32_t> limits() {
    std::vector<std::int32_t> out = {1, 2, 24, 30, 55, 120};
    for (std::int32_t l = cut - 1; l <= cut + 2; ++l) {
        if (l >= 1) out.push_back(l);
    }
    return out;
}

TEST(TrajectorySearch, MatchesStepByStepSearchWithAndWithoutMemo) {
    std::vector<std::string> numbers = {
        "0", "00", "000", "012", "0999", "89", "98", "187", "10911", "196", "295", "394",
        "689", "879", "887", "1997", "4994", "1186060307891929990", "", "99", "100", "19",
    };
    for (int n = 1; n <= 1200; n += 7) numbers.push_back(std::to_string(n));
    for (const std::int32_t limit : limits()) {
        TrajectoryMemo memo;
        TrajectorySearch with_memo(limit, &memo);
        TrajectorySearch without(limit, nullptr);
        // Twice over: the second pass answers from what the first one remembered.
        for (int pass = 0; pass < 2; ++pass) {
            for (const std::string& digits : numbers) {
                expect_same_as_reference(with_memo, digits, limit);
                expect_same_as_reference(without, digits, limit);
            }
        }
    }
}

TEST(TrajectorySearch, NumbersSharingAFirstSumShareOneEntry) {
    struct Case {
        const char* first;
        const char* second;  // the same first sum as `first`
        const char* first_sum;
        std::int32_t limit;
    };
    const std::vector<Case> cases = {
        {"89", "98", "187", 40},
        {"196", "295", "887", 200},
        {"10911", "11901", "22812", 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        TrajectoryMemo memo;
        TrajectorySearch search(c.limit, &memo);
        const revadd::SearchOutcome reference = revadd::search_number(c.first, c.limit);
        ASSERT_GT(reference.formed ? reference.steps : c.limit, cut);

        search.search(c.first);
        ASSERT_EQ(memo.size(), 1u);
        const revadd::MemoEntry* entry = memo.find(c.first_sum);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->steps, reference.formed ? reference.steps : 0);
        EXPECT_EQ(entry->palindrome, reference.palindrome);

        expect_same_as_reference(search, c.second, c.limit);
        EXPECT_EQ(memo.size(), 1u);
    }
}

TEST(TrajectoryMemo, StopsStoringAtItsBudgetAndCountsWhatItHolds) {
    const std::size_t overhead = revadd::tuning::memo_entry_overhead_bytes;
    TrajectoryMemo memo(2 * overhead + 20);
    EXPECT_TRUE(memo.insert("187", 24, "8813200023188"));
    EXPECT_EQ(memo.bytes_used(), overhead + 3 + 13);
    EXPECT_FALSE(memo.insert("187", 5, "1")) << "a known key is kept as it is";
    EXPECT_EQ(memo.bytes_used(), overhead + 3 + 13);
    EXPECT_FALSE(memo.insert("1675", 0, std::string(overhead, '1'))) << "over the budget";
    EXPECT_TRUE(memo.insert("887", 0, ""));
    EXPECT_FALSE(memo.insert("4334", 0, "")) << "the budget is spent";
    EXPECT_EQ(memo.size(), 2u);
    EXPECT_EQ(memo.bytes_used(), 2 * overhead + 19);

    const revadd::MemoEntry* found = memo.find("187");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->steps, 24);
    EXPECT_EQ(found->palindrome, "8813200023188");
    EXPECT_EQ(memo.find("1675"), nullptr);
    EXPECT_EQ(memo.find("18"), nullptr);

    TrajectoryMemo none(0);
    EXPECT_FALSE(none.insert("1", 1, "2"));
    EXPECT_EQ(none.bytes_used(), 0u);
}

TEST(TrajectoryMemo, ThreadsFillingItTogetherNeverPassTheBudget) {
    const std::size_t budget = 300 * (revadd::tuning::memo_entry_overhead_bytes + 8);
    TrajectoryMemo memo(budget);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&memo, t] {
            for (int k = 0; k < 1000; ++k) {
                const std::string key = std::to_string(k * 4 + t % 2);
                memo.insert(key, k, key);
                const revadd::MemoEntry* e = memo.find(key);
                if (e != nullptr && e->palindrome != key) std::abort();
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_LE(memo.bytes_used(), budget);
    EXPECT_GT(memo.size(), 100u);
    std::size_t expected = 0;
    for (int k = 0; k < 4000; ++k) {
        const std::string key = std::to_string(k);
        if (const revadd::MemoEntry* e = memo.find(key)) {
            EXPECT_EQ(e->palindrome, key);
            expected += revadd::tuning::memo_entry_overhead_bytes + 2 * key.size();
        }
    }
    EXPECT_EQ(memo.bytes_used(), expected);
}

}  // namespace
