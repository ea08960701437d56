// The built program stopped by SIGINT or SIGTERM as a user stops it: every hit found
// before the signal must be on the console and in palin.txt, in whole records, with no
// summary, a last line on standard error that says where the search got to, and the
// exit status 128 plus the signal number.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "search/range_search.hpp"
#include "hit_records.hpp"
#include "run_program.hpp"
#include "sanitizers.hpp"

namespace {

using revadd::testing::HitRecord;
using revadd::testing::keeps_every_hit_before;
using revadd::testing::Outcome;
using revadd::testing::records_of;
using revadd::testing::run_revadd;
using revadd::testing::RunSetup;
using revadd::testing::SignalAt;
using revadd::testing::with_input;

const std::string prompts =
    "enter starting number:\nenter range:\nenter number of iterations:\n";

// Every record of a search of the magnitudes from `first` to `last`, one thread, as the
// file shows them.
std::string hits_between(std::int64_t first, std::int64_t last, std::int32_t iterations) {
    struct Collect final : revadd::ChunkWriter {
        std::string file;
        void write(std::string_view, std::string_view text) override { file.append(text); }
    } collect;
    const std::string digits = std::to_string(first);
    revadd::RangeJob job;
    job.first_digits = digits;
    job.count = static_cast<std::int32_t>(last - first + 1);
    job.iterations = iterations;
    revadd::RunOptions options;
    options.threads = 1;
    revadd::search_range(job, options, collect);
    return collect.file;
}

struct WideCase {
    const char* name;
    std::int64_t start;  // the first magnitude; negative starts count down in sign only
    bool negative;
    int signal;
};

TEST(InterruptedRun, WideRunKeepsEveryHitFoundAndSaysWhereItStopped) {
    constexpr std::int32_t iterations = 1000;
    const std::vector<WideCase> cases = {
        {"Ctrl-C", 1, false, SIGINT},
        {"SIGTERM, negative start", 5, true, SIGTERM},
    };
    for (const WideCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string start = (c.negative ? "-" : "") + std::to_string(c.start);
        RunSetup setup = with_input(start + " 2000000000 " + std::to_string(iterations));
        setup.signals = {SignalAt{" iterations\n\n", 0, c.signal}};
        const Outcome r = run_revadd(setup);

        EXPECT_EQ(r.term_signal, 0);
        EXPECT_EQ(r.status, 128 + c.signal);
        std::smatch m;
        const std::regex last_words(
            std::string("revadd: stopped by ") + (c.signal == SIGINT ? "SIGINT" : "SIGTERM") +
            ": every number before (-?)([0-9]+) was searched and every hit found is written; "
            "no summary\n");
        ASSERT_TRUE(std::regex_match(r.err, m, last_words)) << r.err;
        EXPECT_EQ(m[1].str(), c.negative ? "-" : "");
        const std::int64_t reached = std::stoll(m[2].str());
        EXPECT_GT(reached, c.start);

        // The console shows what the file holds, signed like the start.
        ASSERT_TRUE(r.file.has_value());
        std::string signed_file;
        const std::vector<HitRecord> got = records_of(*r.file);
        for (const HitRecord& record : got) signed_file += (c.negative ? "-" : "") + record.text;
        EXPECT_EQ(r.out, prompts + "\n" + signed_file);
        ASSERT_FALSE(got.empty());

        // Below the point reached, every hit; beyond it, only true hits, in order.
        const std::vector<HitRecord> truth =
            records_of(hits_between(c.start, std::max(got.back().number, reached), iterations));
        EXPECT_TRUE(keeps_every_hit_before(got, truth, reached));
    }
}

TEST(InterruptedRun, LongNumberStopsBetweenStepsWithNothingToKeep) {
    RunSetup setup = with_input("196 1 2147483647");
    setup.existing_file = "an earlier run's results\n";
    setup.signals = {SignalAt{prompts, 300, SIGTERM}};
    // Stepping on alone, this number would take hours.
    setup.timeout = std::chrono::milliseconds(20000);
    const Outcome r = run_revadd(setup);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_EQ(r.out, prompts + "\n");
    EXPECT_EQ(r.err,
              "revadd: stopped by SIGTERM: every number before 196 was searched and every hit "
              "found is written; no summary\n");
    EXPECT_EQ(r.file, "");
}

// Both signals are pending when the program resumes: the first asks for a stop, the
// second ends the process in its handler, before anything else is written.
TEST(InterruptedRun, SecondSignalEndsTheRunAtOnce) {
#ifdef REVADD_THREAD_SANITIZER
    GTEST_SKIP() << "the thread sanitizer delays signal handlers and flushes at _exit";
#endif
    RunSetup setup = with_input("196 1 2147483647");
    setup.signals = {SignalAt{prompts, 200, SIGSTOP}, SignalAt{prompts, 0, SIGINT},
                     SignalAt{prompts, 0, SIGTERM}, SignalAt{prompts, 0, SIGCONT}};
    setup.timeout = std::chrono::milliseconds(20000);
    const Outcome r = run_revadd(setup);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_TRUE(r.status == 128 + SIGINT || r.status == 128 + SIGTERM) << r.status;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, prompts);
}

}  // namespace
