// Runs over a range in this process: whatever the threads, chunks and memo, the report is
// the step-by-step search's; a stopped run keeps whole records in order; limits are kept.
#include <gtest/gtest.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <csignal>
#include <optional>
#include <thread>

#include "reference.hpp"
#include "reference_search.hpp"
#include "run_program.hpp"
#include "search/chunk_plan.hpp"
#include "search/trajectory_memo.hpp"

namespace {

using namespace revadd;

RunOptions options(unsigned threads, std::int32_t chunk, bool memo,
                   std::size_t budget = tuning::memo_budget_bytes) {
    return {
        .threads = threads, .use_memo = memo, .memo_budget_bytes = budget, .chunk_numbers = chunk};
}

// Chunks cover the range in order, all of one size but the last; a size not asked for is
// the largest within every bound (a ceiling, a chunk's step work, several chunks a thread)
// or 1: each bound the tightest in turn, none but the floor, a limit whose square nears 2^64.
TEST(ChunkPlan, CoversTheRangeInChunksAsLargeAsTheBoundsAllow) {
    const std::tuple<std::int32_t, std::int32_t, unsigned, std::int32_t> rows[] = {
        {1, 1, 1, 0},           {1000, 10, 2, 0},         {15, 10, 2, 0},
        {10'000'000, 10, 2, 0}, {10'000'000, 2000, 2, 0}, {INT32_MAX, INT32_MAX, 1, 0},
        {INT32_MAX, 1, 1, 0},   {20, 10, 8, 7},           {1000, 10, 2, 1}};
    for (const auto& [count, limit, threads, asked] : rows) {
        const ChunkPlan plan(count, limit, threads, asked);
        const std::int64_t n = plan.numbers(), last = plan.chunks() - 1;
        const auto within = [count = count, limit = limit, threads = threads](std::int64_t size) {
            return size <= tuning::max_chunk_numbers &&
                   static_cast<long double>(size) * limit * limit <= tuning::chunk_digit_work &&
                   size * threads * tuning::min_chunks_per_thread <= count;
        };
        EXPECT_TRUE(asked > 0 ? n == asked : (n == 1 || within(n)) && !within(n + 1)) << count;
        EXPECT_TRUE(plan.first(0) == 0 && plan.first(last) < count && plan.end(last) == count);
        for (const std::int64_t c : {std::int64_t{0}, last / 2, last - 1})
            EXPECT_TRUE(c < 0 || c == last ||
                        (plan.end(c) == plan.first(c + 1) && plan.end(c) - plan.first(c) == n));
    }
}

// Long trajectories, Lychrel candidates, hits at the last allowed step and one step short
// of it, the memo's first question, leading zeros, signs, powers of ten crossed, single
// numbers whose steps the other threads share.
TEST(RangeSearch, EveryThreadCountChunkSizeAndMemoFindsWhatTheStepByStepSearchFinds) {
    const std::int32_t memo_from = tuning::memo_from_step;
    const std::string deep = "11860603078919299";  // 1186060307891929990 takes 261 steps
    const std::tuple<std::string, std::int32_t, std::int32_t> rows[] = {
        {"1", 400, 30},   {"180", 220, 60},       {"680", 220, 45},      {"1985", 30, 80},
        {"85", 20, 24},   {"85", 20, 23},         {"1", 120, memo_from}, {"1", 120, memo_from + 1},
        {"90", 30, 1},    {"012", 25, 20},        {"00", 15, 10},        {"-12", 40, 20},
        {"-190", 12, 50}, {"+95", 10, 30},        {"990", 20, 30},       {"09990", 20, 30},
        {"196", 1, 3000}, {deep + "85", 12, 300}, {deep + "90", 1, 300}};
    for (const auto& [start, count, limit] : rows) {
        for (const unsigned threads : {1u, 2u, 3u, 8u}) {
            for (const std::int32_t chunk : {0, 1, 7}) {
                for (const bool memo : {false, true}) {
                    ASSERT_EQ(
                        tests::check_range(start, count, limit, options(threads, chunk, memo)), "");
                }
            }
        }
    }
    // Wide enough for the memo to matter, which may be roomy, small, or without room; and
    // the defaults.
    const std::size_t entry = tuning::memo_entry_overhead_bytes + 40;
    for (const RunOptions& o : {RunOptions{}, options(2, 0, true), options(3, 0, true, 0),
                                options(2, 0, true, 40 * entry), options(8, 3, true)}) {
        ASSERT_EQ(tests::check_range("1", 15000, 300, o), "");
    }
}

// While the oldest chunk is being written the other thread searches on, so that more
// chunks are ready when the write ends, but only as far as the window of chunks: a chunk
// beyond it would take the slot of one not yet written. A chunk that finishes while the
// writer catches up is left to it: a second writer would overlap it. On one CPU the
// writer, once free, runs on through the whole window while the other thread waits to
// run: a reused slot must not be written before its new chunk is done.
TEST(RangeSearch, ChunksWaitForTheirSlotWhileTheOldestIsWritten) {
    if (!tests::linux_harness) GTEST_SKIP() << "one CPU for a child process: Linux only";
    tests::RunSetup one_cpu;
    one_cpu.cpu = 0;
    one_cpu.instead = [] {
        tests::Collector c;
        c.hold_up = std::chrono::milliseconds(300);
        c.run("1", 5000, 10, options(2, 1, true));
        return (c.file == tests::reference_report("1", 5000, 10).hits ? 0 : 1) |
               (c.calls.starts_with("www") ? 0 : 2) | (c.overlapped ? 4 : 0);
    };
    EXPECT_EQ(tests::run_revadd(one_cpu).status, 0)
        << "1: records, 2: chunks ahead of the write, 4: two writers";
}

// A run stopped after some chunks were written, or from another thread at a moment,
// keeps every hit below the point it names and beyond it only true hits in order: one
// thread takes no chunk after the stop; a stop before the start searches nothing; a long
// number is cut short between two steps; a chunk held up by 196 marks the point reached.
TEST(StoppedSearch, KeepsEveryHitBeforeThePointItNamesInWholeRecords) {
    const std::string wide = tests::reference_report("1", 30000, 200).hits;
    const std::tuple<const char*, std::int32_t, std::int32_t, unsigned, bool, std::int32_t, int,
                     int, std::int64_t>
        rows[] = {{"1", 30000, 200, 1, true, 100, 1, -1, 100},
                  {"1", 30000, 200, 1, false, 100, 10, -1, 1000},
                  {"1", 30000, 200, 2, true, 100, 1, -1, -1},
                  {"1", 30000, 200, 2, false, 100, 5, -1, -1},
                  {"1", 1000, 50, 2, true, 0, -1, 0, 0},
                  {"196", 1, INT32_MAX, 1, true, 0, -1, 50, 0},
                  {"196", 1, INT32_MAX, 2, true, 0, -1, 50, 0},
                  {"190", 200, 1000000, 2, true, 10, -1, 100, 6}};
    for (const auto& [first, count, limit, threads, memo, chunk, stop_after, after_ms, point] :
         rows) {
        tests::Collector c;
        c.stop_after = stop_after;
        c.flag = after_ms == 0 ? SIGINT : 0;
        std::thread raiser([&c, ms = after_ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0)));
            if (ms > 0) c.flag.store(SIGTERM);
        });
        c.run(first, count, limit, options(threads, chunk, memo));
        raiser.join();
        ASSERT_TRUE(c.stopped_at) << first;
        EXPECT_TRUE(point >= 0 ? *c.stopped_at == point
                               : *c.stopped_at >= stop_after * 100 && *c.stopped_at < count)
            << *c.stopped_at;
        EXPECT_TRUE(tests::same(c.console, c.file));
        EXPECT_EQ(c.calls.find_first_not_of("wc"), std::string::npos)
            << c.calls;  // nothing after the stop
        const std::string truth =
            count == 30000 ? wide
                           : tests::reference_report(first, count, std::min(limit, 1000)).hits;
        EXPECT_TRUE(tests::keeps_every_hit_before(c.file, truth, std::stoll(first) + *c.stopped_at))
            << first;
    }
}

TEST(TrajectoryMemo, KeepsAnEntryThatFillsItsBudgetExactlyAndNoMore) {
    const std::size_t cost = 3 + 4 + tuning::memo_entry_overhead_bytes;
    TrajectoryMemo short_by_one(cost - 1), exact(cost);
    EXPECT_FALSE(short_by_one.insert(MemoKey::first_sum, "123", 5, "4444"));
    EXPECT_TRUE(exact.insert(MemoKey::first_sum, "123", 5, "4444"));
    EXPECT_FALSE(exact.insert(MemoKey::later_sum, "1", 0, ""));
    const MemoEntry* found = exact.find(MemoKey::first_sum, "123");
    EXPECT_TRUE(found != nullptr && found->steps == 5 && found->palindrome == "4444");
    EXPECT_EQ(exact.find(MemoKey::later_sum, "123"), nullptr);
}

// A memo whose memory runs out before its budget keeps what it has and takes no more.
TEST(TrajectoryMemo, RefusesToGrowWhenMemoryRunsOutAndStillAnswers) {
    if (!tests::linux_harness) GTEST_SKIP() << "an address-space limit kept to: Linux only";
#ifndef REVADD_SANITIZED_ALLOCATOR  // which reserves more address space than any limit here
    tests::RunSetup setup;
    setup.limits = {{tests::Limit::address_space, tests::memory_in_use() + (8ll << 20)}};
    setup.instead = [] {
        TrajectoryMemo memo(std::size_t{1} << 30);
        std::string key(1010, '1');  // numbered in its last ten digits, never reallocated
        int stored = 0;
        while (std::snprintf(key.data() + 1000, 11, "%010d", stored) > 0 &&
               memo.insert(MemoKey::first_sum, key, 7, "77"))
            ++stored;
        std::snprintf(key.data() + 1000, 11, "%010d", stored - 1);  // the last one stored
        const MemoEntry* last = memo.find(MemoKey::first_sum, key);
        return stored > 100 && !memo.insert(MemoKey::later_sum, "1", 1, "2") && last != nullptr &&
                       last->steps == 7
                   ? 0
                   : 1;
    };
    EXPECT_EQ(tests::run_revadd(setup).status, 0);
#endif
}

TEST(ReferenceSearch, ReleasesEveryBufferItTakes) {
#ifndef __GLIBC__
    GTEST_SKIP() << "the heap's books are read from glibc's mallinfo2";
#elif !defined(REVADD_SANITIZED_ALLOCATOR)  // whose allocator keeps its own books, finds leaks
    search_number(std::string(2000, '7'), 3);
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 20; ++i) search_number(std::string(2000, '7'), 3);
    EXPECT_LT(mallinfo2().uordblks, before + 1000);
#endif
}

}  // namespace
