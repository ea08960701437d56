// A search stopped by its flag, in this process: it must end soon, whatever it was
// doing; what it hands on must be whole hit records in range order, every hit of the
// numbers it reports as searched included; and nothing may be written after it says
// where it stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "search/range_search.hpp"
#include "hit_records.hpp"

namespace {

using revadd::RangeJob;
using revadd::testing::HitRecord;
using revadd::testing::keeps_every_hit_before;
using revadd::testing::records_of;
using revadd::RunOptions;

// Collects the report and raises the stop flag after a chosen number of chunk writes.
class StoppingWriter final : public revadd::ChunkWriter {
public:
    StoppingWriter(std::atomic<int>& flag, int stop_after_writes)
        : flag_(flag), stop_after_(stop_after_writes) {}
    void write(std::string_view console, std::string_view file) override {
        EXPECT_FALSE(searched.has_value()) << "a write after the stop was reported";
        this->console.append(console);
        this->file.append(file);
        if (++writes_ == stop_after_) flag_.store(2);
    }
    void stopped(std::int64_t count) override {
        EXPECT_FALSE(searched.has_value()) << "the stop was reported twice";
        searched = count;
    }

    std::string console;
    std::string file;
    std::optional<std::int64_t> searched;

private:
    std::atomic<int>& flag_;
    const int stop_after_;
    int writes_ = 0;
};

RangeJob job_from_1(std::int32_t count, std::int32_t iterations) {
    RangeJob job;
    job.first_digits = "1";
    job.count = count;
    job.iterations = iterations;
    return job;
}

std::string full_report(const RangeJob& job) {
    std::atomic<int> never{0};
    StoppingWriter writer(never, -1);
    RunOptions options;
    options.threads = 1;
    revadd::search_range(job, options, writer);
    return writer.file;
}

struct StopCase {
    const char* name;
    unsigned threads;
    bool memo;
    int stop_after_writes;
};

TEST(StoppedRun, KeepsEveryHitOfTheNumbersItSearchedInWholeRecords) {
    const RangeJob job = job_from_1(60000, 200);
    const std::vector<HitRecord> full = records_of(full_report(job));
    const std::vector<StopCase> cases = {
        {"one thread, stopped after the first chunk", 1, true, 1},
        {"one thread, no memo, stopped after ten chunks", 1, false, 10},
        {"two threads, stopped after the first chunk", 2, true, 1},
        {"two threads, no memo, stopped after five chunks", 2, false, 5},
    };
    constexpr std::int32_t chunk = 100;
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> flag{0};
        StoppingWriter writer(flag, c.stop_after_writes);
        RunOptions options;
        options.threads = c.threads;
        options.use_memo = c.memo;
        options.chunk_numbers = chunk;
        options.stop = &flag;
        revadd::search_range(job, options, writer);

        ASSERT_TRUE(writer.searched.has_value());
        const std::int64_t searched = *writer.searched;
        const std::int64_t written = std::int64_t{c.stop_after_writes} * chunk;
        // Chunks go out in order, so all of those written were searched in full; one
        // thread takes no further chunk once the flag is up.
        EXPECT_GE(searched, written);
        if (c.threads == 1) {
            EXPECT_EQ(searched, written);
        }
        EXPECT_LT(searched, job.count);
        EXPECT_EQ(writer.console, writer.file);

        // The numbers run from 1: the first one not searched is searched + 1.
        EXPECT_TRUE(keeps_every_hit_before(records_of(writer.file), full, searched + 1));
    }
}

struct Stopped {
    std::string console;
    std::string file;
    std::optional<std::int64_t> searched;
};

// Searches `job` with the stop flag raised by another thread `after` the start, or
// before it when `after` is zero.
Stopped search_stopped_after(const RangeJob& job, RunOptions options,
                             std::chrono::milliseconds after) {
    std::atomic<int> flag{after.count() == 0 ? SIGINT : 0};
    StoppingWriter writer(flag, -1);
    options.stop = &flag;
    std::thread raiser([&flag, after] {
        std::this_thread::sleep_for(after);
        flag.store(SIGTERM);
    });
    revadd::search_range(job, options, writer);
    raiser.join();
    return {writer.console, writer.file, writer.searched};
}

TEST(StoppedRun, LongNumberStopsBetweenTwoSteps) {
    for (const unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        RunOptions options;
        options.threads = threads;
        RangeJob job;
        job.first_digits = "196";
        job.count = 1;
        // Without the flag this search would go on for hours.
        job.iterations = INT32_MAX;
        const Stopped r = search_stopped_after(job, options, std::chrono::milliseconds(50));
        EXPECT_EQ(r.searched, std::optional<std::int64_t>(0));
        EXPECT_EQ(r.console, "");
        EXPECT_EQ(r.file, "");
    }
}

// 196 holds up the first chunk while the other thread finishes the chunks behind it:
// the point reached is 196, whatever was written beyond it.
TEST(StoppedRun, ChunkCutShortAheadOfFinishedOnesMarksThePointReached) {
    RunOptions options;
    options.threads = 2;
    options.chunk_numbers = 10;
    RangeJob job;
    job.first_digits = "190";
    job.count = 200;
    job.iterations = 1000000;
    const Stopped r = search_stopped_after(job, options, std::chrono::milliseconds(100));
    EXPECT_EQ(r.searched, std::optional<std::int64_t>(6));
    EXPECT_EQ(r.file.substr(0, 4), "190\n");
    EXPECT_EQ(r.file.find("\n196\n"), std::string::npos);
}

TEST(StoppedRun, FlagRaisedBeforeTheStartSearchesNothing) {
    RunOptions options;
    options.threads = 2;
    const Stopped r =
        search_stopped_after(job_from_1(1000, 50), options, std::chrono::milliseconds(0));
    EXPECT_EQ(r.searched, std::optional<std::int64_t>(0));
    EXPECT_EQ(r.file, "");
}

}  // namespace
