// Whole runs over a range, in this process: whatever the number of threads, the chunk
// size and the memo, the console and palin.txt must hold exactly the bytes of a run that
// searches one number after the other with the step-by-step reference.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bignum/bignum.hpp"
#include "search/reference_search.hpp"
#include "search/range_search.hpp"
#include "cli/run.hpp"
#include "search/search_tuning.hpp"
#include "run_program.hpp"

namespace {

namespace fs = std::filesystem;
using revadd::RunOptions;

struct Report {
    std::string console;
    std::string file;
};

struct Reference {
    std::string console_hits;  // signed like the console
    std::string file_hits;     // bare digits
    std::string summary;
    std::int32_t count = 0;
    Report report() const { return {"\n" + console_hits + summary, file_hits + summary}; }
};

// One number after the other, stepped with bigAdd and searched with search_number; the
// text is put together here rather than with the tool's formatting.
Reference reference_run(const std::string& start, std::int32_t range, std::int32_t iterations) {
    revadd::bignum number{}, one{};
    revadd::bigInit(&number);
    revadd::bigInit(&one);
    revadd::str2big(&number, start);
    revadd::str2big(&one, "1");
    const bool negative = start[0] == '-';
    Reference r;
    std::int32_t high = 0, low = 10000;
    for (std::int32_t i = 0; i < range; ++i) {
        const std::string digits = number.number;
        const revadd::SearchOutcome found = revadd::search_number(digits, iterations);
        if (found.formed) {
            const std::string record = digits + "\n" + found.palindrome + "\n" +
                                       std::to_string(found.steps) + " iterations\n\n";
            r.console_hits += (negative ? "-" : "") + record;
            r.file_hits += record;
            low = r.count == 0 ? found.steps : std::min(low, found.steps);
            high = std::max(high, found.steps);
            ++r.count;
        }
        revadd::bigAdd(&number, number, one);
    }
    r.summary = std::to_string(r.count) + " of " + std::to_string(range) +
                " numbers in the range\n" + start + " to " + (negative ? "-" : "") + number.number +
                "\nformed palindromes in " + std::to_string(iterations) +
                " or fewer iterations\nhigh iterations: " + std::to_string(high) +
                "\nlow iterations: " + std::to_string(low) + "\n";
    revadd::bigFree(&number);
    revadd::bigFree(&one);
    return r;
}

// Equal texts, or where they part, with a little of each around that point: reports are
// too long to be shown whole.
::testing::AssertionResult same_text(const std::string& got, const std::string& expected) {
    if (got == expected) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
    const std::size_t from = at < 60 ? 0 : at - 60;
    return ::testing::AssertionFailure()
           << "texts of " << got.size() << " and " << expected.size() << " bytes part at byte "
           << at << "\ngot:      ..." << got.substr(from, 120)
           << "\nexpected: ..." << expected.substr(from, 120);
}

std::string read_all(std::FILE* f) {
    std::rewind(f);
    std::string text;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    return text;
}

// The tool's run in a fresh directory (palin.txt is written to the working directory),
// its console captured in a temporary file.
Report tool_run(const std::string& start, std::int32_t range, std::int32_t iterations,
                const RunOptions& options) {
    char pattern[] = "/tmp/revadd-range-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    const fs::path before = fs::current_path();
    fs::current_path(pattern);
    std::FILE* out = std::tmpfile();
    if (out == nullptr) throw std::runtime_error("tmpfile");
    Report r;
    int status;
    {
        revadd::TextSink console(out, std::size_t{1} << 16);
        status = revadd::run_search({start, range, iterations}, console, options);
    }
    r.console = read_all(out);
    std::fclose(out);
    r.file = revadd::testing::read_file("palin.txt");
    fs::current_path(before);
    fs::remove_all(pattern);
    EXPECT_EQ(status, 0);
    return r;
}

struct RangeCase {
    const char* name;
    std::string start;
    std::int32_t range;
    std::int32_t iterations;
};

// Ranges with long trajectories, Lychrel candidates, hits at the first and at the last
// allowed step, starts with leading zeros or a sign, and powers of ten crossed.
const std::vector<RangeCase> range_cases = {
    {"from 1, many hits and misses", "1", 400, 30},
    {"196, 295 and 394", "180", 220, 60},
    {"689, 788, 879, 887", "680", 220, 45},
    {"1997 among four-digit numbers", "1985", 30, 80},
    {"89 and 98 at their last allowed step", "85", 20, 24},
    {"89 one step short", "85", 20, 23},
    {"limit at the memo cut-off", "1", 120, revadd::tuning::memo_from_step},
    {"limit just past the memo cut-off", "1", 120, revadd::tuning::memo_from_step + 1},
    {"one step allowed", "90", 30, 1},
    {"leading zero", "012", 25, 20},
    {"all zeros", "00", 15, 10},
    {"negative start", "-12", 40, 20},
    {"negative start with Lychrel candidates", "-190", 12, 50},
    {"plus sign", "+95", 10, 30},
    {"crossing 99 to 100", "95", 10, 30},
    {"crossing 999 to 1000", "990", 20, 30},
    {"crossing 9999 to 10000 with leading zeros", "09990", 20, 30},
    {"a long start", "1186060307891929985", 12, 300},
    {"one number alone, the other threads sharing its steps", "1186060307891929990", 1, 300},
    {"196 alone", "196", 1, 3000},
};

TEST(RangeRun, EveryThreadCountChunkSizeAndMemoGivesTheReferenceBytes) {
    for (const RangeCase& c : range_cases) {
        SCOPED_TRACE(c.name);
        const Report expected = reference_run(c.start, c.range, c.iterations).report();
        for (const unsigned threads : {1u, 2u, 3u, 8u}) {
            for (const bool memo : {false, true}) {
                for (const std::int32_t chunk : {0, 1, 7}) {
                    SCOPED_TRACE(std::to_string(threads) + " threads, chunk " +
                                 std::to_string(chunk) + (memo ? ", memo" : ", no memo"));
                    RunOptions options;
                    options.threads = threads;
                    options.use_memo = memo;
                    options.chunk_numbers = chunk;
                    const Report got = tool_run(c.start, c.range, c.iterations, options);
                    ASSERT_TRUE(same_text(got.console, expected.console));
                    ASSERT_TRUE(same_text(got.file, expected.file));
                }
            }
        }
    }
}

// A range wide enough for the memo to matter: thousands of numbers share trajectories,
// many of them never forming a palindrome.
TEST(RangeRun, WideRangeIsTheSameOnOneThreadWithoutMemoAndOnManyWithIt) {
    constexpr std::int32_t wide_range = 15000;
    constexpr std::int32_t wide_limit = 300;
    const Reference reference = reference_run("1", wide_range, wide_limit);
    const Report expected = reference.report();
    ASSERT_LT(reference.count, wide_range) << "the range holds numbers that form no palindrome";

    RunOptions plain;
    plain.threads = 1;
    plain.use_memo = false;

    struct Variant {
        const char* name;
        RunOptions options;
    };
    std::vector<Variant> variants = {{"one thread without memo", plain}};
    for (const unsigned threads : {1u, 2u, 3u, 8u}) {
        RunOptions o;
        o.threads = threads;
        variants.push_back({"memo", o});
    }
    RunOptions no_room;
    no_room.threads = 3;
    no_room.memo_budget_bytes = 0;
    variants.push_back({"memo without room", no_room});
    RunOptions tiny;
    tiny.threads = 2;
    tiny.memo_budget_bytes = 40 * (revadd::tuning::memo_entry_overhead_bytes + 40);
    variants.push_back({"memo that fills up early", tiny});
    RunOptions small_chunks;
    small_chunks.threads = 8;
    small_chunks.chunk_numbers = 3;
    variants.push_back({"eight threads, three numbers a chunk", small_chunks});

    for (const Variant& v : variants) {
        SCOPED_TRACE(std::string(v.name) + ", " + std::to_string(v.options.threads) + " threads");
        const Report got = tool_run("1", wide_range, wide_limit, v.options);
        ASSERT_TRUE(same_text(got.console, expected.console));
        ASSERT_TRUE(same_text(got.file, expected.file));
    }
}

// Without a step allowed nothing is searched: a range of any length ends at once.
TEST(RangeRun, NoStepsAllowedSearchesNothingWhateverTheRange) {
    for (const std::int32_t iterations : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(iterations);
        const Report got = tool_run("7", INT32_MAX, iterations, RunOptions{});
        const std::string summary = "0 of 2147483647 numbers in the range\n7 to 2147483654\n"
                                    "formed palindromes in " + std::to_string(iterations) +
                                    " or fewer iterations\nhigh iterations: 0\n"
                                    "low iterations: 10000\n";
        EXPECT_EQ(got.console, "\n" + summary);
        EXPECT_EQ(got.file, summary);
    }
}

// Records each chunk as it is handed on, and fails if two calls ever overlap.
class RecordingWriter final : public revadd::ChunkWriter {
public:
    void write(std::string_view console, std::string_view file) override {
        if (busy_.exchange(true)) overlapped_ = true;
        console_chunks.emplace_back(console);
        file_text.append(file);
        std::this_thread::yield();
        busy_ = false;
    }
    void caught_up() override {
        if (busy_.exchange(true)) overlapped_ = true;
        ++caught_up_calls;
        busy_ = false;
    }
    bool overlapped() const { return overlapped_; }

    std::vector<std::string> console_chunks;
    std::string file_text;
    int caught_up_calls = 0;

private:
    std::atomic<bool> busy_{false};
    bool overlapped_ = false;
};

TEST(RangeSearch, ChunksArriveOneByOneInRangeOrder) {
    const Reference reference = reference_run("-1", 300, 40);
    struct Case {
        unsigned threads;
        std::int32_t chunk;
        bool file_records;
    };
    const std::vector<Case> cases = {
        {1, 1, true}, {2, 1, true}, {8, 1, true}, {1, 16, true}, {2, 16, true},
        {8, 16, true}, {2, 1, false}, {8, 16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.threads) + " threads, chunk " + std::to_string(c.chunk) +
                     (c.file_records ? "" : ", console only"));
        RunOptions options;
        options.threads = c.threads;
        options.chunk_numbers = c.chunk;
        revadd::RangeJob job;
        job.first_digits = "1";
        job.count = 300;
        job.iterations = 40;
        job.negative = true;
        job.file_records = c.file_records;
        RecordingWriter writer;
        const revadd::Tally tally = revadd::search_range(job, options, writer);

        EXPECT_FALSE(writer.overlapped());
        const auto chunks = static_cast<std::size_t>((300 + c.chunk - 1) / c.chunk);
        ASSERT_EQ(writer.console_chunks.size(), chunks);
        std::string console;
        for (const std::string& text : writer.console_chunks) console += text;
        EXPECT_TRUE(same_text(console, reference.console_hits));
        EXPECT_TRUE(same_text(writer.file_text, c.file_records ? reference.file_hits : ""));
        EXPECT_EQ(tally.count(), reference.count);
    }
}

TEST(RangeSearch, ChunksShrinkAsNumbersGetCostlierAndSpreadOverTheThreads) {
    struct Case {
        std::int32_t count, iterations;
        unsigned threads;
        std::int32_t chunk;
    };
    const std::int32_t most = revadd::tuning::max_chunk_numbers;
    const std::int32_t per_thread = revadd::tuning::min_chunks_per_thread;
    const std::vector<Case> cases = {
        {1000000, 1000, 2, most},  // the memo makes most of these cheap
        {1000000, 30, 2, most},
        {INT32_MAX, 1, 64, most},
        {1000000, 100000, 2, 1},  // a second or more each
        {INT32_MAX, INT32_MAX, 2, 1},
        {10, 100000, 2, 1},
        {40 * per_thread, 30, 2, 20},
        {5 * per_thread, 30, 2, 2},
        {1, 30, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " numbers, limit " + std::to_string(c.iterations));
        EXPECT_EQ(revadd::chunk_numbers(c.count, c.iterations, c.threads), c.chunk);
    }
    // Costlier numbers never get larger chunks.
    std::int32_t previous = most;
    for (std::int32_t limit = 1; limit < 2000000; limit = limit * 3 / 2 + 1) {
        const std::int32_t chunk = revadd::chunk_numbers(INT32_MAX, limit, 2);
        EXPECT_LE(chunk, previous) << limit;
        EXPECT_GE(chunk, 1);
        previous = chunk;
    }
}

TEST(Tally, TalliesOfPartsAddUpToTheTallyOfTheWhole) {
    struct Case {
        const char* name;
        std::vector<std::int32_t> first, second;
    };
    const std::vector<Case> cases = {
        {"both empty", {}, {}},
        {"first empty", {}, {4, 2}},
        {"second empty", {3, 9}, {}},
        {"minimum in the second", {5, 7}, {1, 8}},
        {"minimum in the first", {1, 7}, {3, 2}},
        {"largest step counts", {INT32_MAX}, {10000, 12000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        revadd::Tally whole, first, second;
        for (std::int32_t s : c.first) whole.add(s), first.add(s);
        for (std::int32_t s : c.second) whole.add(s), second.add(s);
        first.add(second);
        EXPECT_EQ(first.count(), whole.count());
        EXPECT_EQ(first.high(), whole.high());
        EXPECT_EQ(first.low(), whole.low());
    }
}

}  // namespace
