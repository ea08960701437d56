// The search of one number on the trajectory engine against the step-by-step reference,
// with and without the memo, and the memo's own bookkeeping.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "bignum/bignum.hpp"
#include "bignum/heap.hpp"
#include "search/reference_search.hpp"
#include "search/search_tuning.hpp"
#include "search/trajectory_memo.hpp"
#include "search/trajectory_search.hpp"

namespace {

using revadd::TrajectoryMemo;
using revadd::TrajectorySearch;
constexpr revadd::MemoKey first = revadd::MemoKey::first_sum;
constexpr revadd::MemoKey later = revadd::MemoKey::later_sum;
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
        ASSERT_EQ(memo.size(first), 1u);
        const revadd::MemoEntry* entry = memo.find(first, c.first_sum);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->steps, reference.formed ? reference.steps : 0);
        EXPECT_EQ(entry->palindrome, reference.palindrome);

        expect_same_as_reference(search, c.second, c.limit);
        EXPECT_EQ(memo.size(first), 1u);
    }
}

// The sum after `steps` steps by the record arithmetic, or nothing when a palindrome
// forms on the way.
std::optional<std::string> sum_after(const std::string& digits, std::int32_t steps) {
    revadd::bignum current{};
    revadd::bigInit(&current);
    revadd::str2big(&current, digits);
    revadd::bignum reversed{1, 0, 0, nullptr};
    bool formed = false;
    for (std::int32_t i = 0; i < steps && !formed; ++i) {
        reversed.number = revadd::reverse(current.number);
        revadd::bigAdd(&current, current, reversed);
        revadd::heap::release(reversed.number);
        const std::string sum = current.number;
        formed = std::string(sum.rbegin(), sum.rend()) == sum;
    }
    std::optional<std::string> sum;
    if (!formed) sum = current.number;
    revadd::bigFree(&current);
    return sum;
}

constexpr std::int32_t later_step = revadd::tuning::memo_later_step;

// An entry planted in the memo is what a number gets back: proof that each key is
// asked for at its step, and only by numbers still open by then.
TEST(TrajectorySearch, AnswersFromTheMemoAtEachKeyAndOnlyThere) {
    const std::int32_t limit = later_step + 100;
    const std::string first_196 = *sum_after("196", 1);
    const std::string later_196 = *sum_after("196", later_step);
    {
        TrajectoryMemo memo;
        memo.insert(first, first_196, 77, "planted");
        TrajectorySearch search(limit, &memo);
        EXPECT_EQ(search.search("196"), 77);
        EXPECT_EQ(search.palindrome(), "planted");
        EXPECT_EQ(search.search("295"), 77) << "295 has the same first sum";
        EXPECT_EQ(memo.size(later), 0u);
    }
    {
        TrajectoryMemo memo;
        memo.insert(later, later_196, 55, "planted later");
        TrajectorySearch search(limit, &memo);
        EXPECT_EQ(search.search("196"), 55);
        EXPECT_EQ(search.palindrome(), "planted later");
        const revadd::MemoEntry* copied = memo.find(first, first_196);
        ASSERT_NE(copied, nullptr) << "the first sum learns what the later one knew";
        EXPECT_EQ(copied->steps, 55);
        EXPECT_EQ(copied->palindrome, "planted later");
    }
    {
        // 19 forms 121 at the step the memo would first be asked: it never asks.
        const revadd::SearchOutcome reference = revadd::search_number("19", limit);
        ASSERT_EQ(reference.steps, cut);
        TrajectoryMemo memo;
        memo.insert(first, *sum_after("19", 1), 3, "planted");
        TrajectorySearch search(limit, &memo);
        EXPECT_EQ(search.search("19"), cut);
        EXPECT_EQ(search.palindrome(), reference.palindrome);
    }
    {
        // A limit that ends before the later step never asks by the later sum.
        TrajectoryMemo memo;
        memo.insert(later, later_196, 55, "planted later");
        TrajectorySearch search(later_step, &memo);
        EXPECT_EQ(search.search("196"), 0);
        EXPECT_EQ(memo.size(later), 1u);
    }
}

// Two numbers whose trajectories start apart and meet by the later step: the second one
// is answered from what the first left under the later sum, and the answer is exact.
TEST(TrajectorySearch, TrajectoriesThatMeetShareTheLaterEntry) {
    std::map<std::string, std::pair<std::string, std::string>> met;  // later sum: number, first sum
    std::optional<std::pair<std::string, std::string>> pair;
    for (int n = 10; n <= 6000 && !pair; ++n) {
        const std::string digits = std::to_string(n);
        const std::optional<std::string> first_sum = sum_after(digits, 1);
        const std::optional<std::string> later_sum = sum_after(digits, later_step);
        if (!first_sum || !later_sum) continue;
        const auto [it, fresh] = met.emplace(*later_sum, std::make_pair(digits, *first_sum));
        if (!fresh && it->second.second != *first_sum) pair.emplace(it->second.first, digits);
    }
    ASSERT_TRUE(pair.has_value()) << "no two numbers below 6000 meet by step " << later_step;
    SCOPED_TRACE(pair->first + " and " + pair->second);

    for (const std::int32_t limit : {later_step + 1, 300}) {
        TrajectoryMemo memo;
        TrajectorySearch search(limit, &memo);
        expect_same_as_reference(search, pair->first, limit);
        ASSERT_EQ(memo.size(later), 1u);
        expect_same_as_reference(search, pair->second, limit);
        EXPECT_EQ(memo.size(later), 1u);
        EXPECT_EQ(memo.size(first), 2u);
    }
}

TEST(TrajectoryMemo, StopsStoringAtItsBudgetAndCountsWhatItHolds) {
    const std::size_t overhead = revadd::tuning::memo_entry_overhead_bytes;
    TrajectoryMemo memo(2 * overhead + 20);
    EXPECT_TRUE(memo.insert(first, "187", 24, "8813200023188"));
    EXPECT_EQ(memo.bytes_used(), overhead + 3 + 13);
    EXPECT_FALSE(memo.insert(first, "187", 5, "1")) << "a known key is kept as it is";
    EXPECT_EQ(memo.bytes_used(), overhead + 3 + 13);
    EXPECT_FALSE(memo.insert(first, "1675", 0, std::string(overhead, '1'))) << "over the budget";
    EXPECT_TRUE(memo.insert(later, "887", 0, "")) << "both kinds of key share one budget";
    EXPECT_FALSE(memo.insert(first, "4334", 0, "")) << "the budget is spent";
    EXPECT_EQ(memo.size(first), 1u);
    EXPECT_EQ(memo.size(later), 1u);
    EXPECT_EQ(memo.find(first, "887"), nullptr) << "the kinds of key are kept apart";
    EXPECT_EQ(memo.bytes_used(), 2 * overhead + 19);

    const revadd::MemoEntry* found = memo.find(first, "187");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->steps, 24);
    EXPECT_EQ(found->palindrome, "8813200023188");
    EXPECT_EQ(memo.find(first, "1675"), nullptr);
    EXPECT_EQ(memo.find(first, "18"), nullptr);

    TrajectoryMemo none(0);
    EXPECT_FALSE(none.insert(first, "1", 1, "2"));
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
                memo.insert(k % 3 == 0 ? later : first, key, k, key);
                const revadd::MemoEntry* e = memo.find(k % 3 == 0 ? later : first, key);
                if (e != nullptr && e->palindrome != key) std::abort();
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_LE(memo.bytes_used(), budget);
    EXPECT_GT(memo.size(first) + memo.size(later), 100u);
    std::size_t expected = 0;
    for (int k = 0; k < 4000; ++k) {
        const std::string key = std::to_string(k);
        const revadd::MemoKey kind = k / 4 % 3 == 0 ? later : first;
        EXPECT_EQ(memo.find(kind == first ? later : first, key), nullptr) << key;
        if (k % 4 > 1) {
            EXPECT_EQ(memo.find(kind, key), nullptr) << key;
        }
        if (const revadd::MemoEntry* e = memo.find(kind, key)) {
            EXPECT_EQ(e->palindrome, key);
            expected += revadd::tuning::memo_entry_overhead_bytes + 2 * key.size();
        }
    }
    EXPECT_EQ(memo.bytes_used(), expected);
}

}  // namespace
