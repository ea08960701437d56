// The search over a range on every core: the range is cut into chunks of consecutive
// numbers that the threads take as they become free; each chunk's report text is made
// by the thread that searched it, and the chunks are handed on strictly in range order,
// each as soon as it and all before it are done, so that the report reads exactly as if
// one thread had searched the numbers one by one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/trajectory.hpp"
#include "report_format.hpp"
#include "search_tuning.hpp"
#include "trajectory_search.hpp"

namespace revadd {

// How far a run has got, for a display that reads it while the run goes on. The
// searching threads add to it as each chunk is done, and a range of one number reports
// each step; relaxed atomics, so the figures of a moment may be a chunk apart.
struct RunProgress {
    std::atomic<std::int64_t> numbers{};  // numbers searched in full
    std::atomic<std::int64_t> hits{};     // hits among them
    StepProgress steps;                   // a range of one number: its steps so far
};

// How a run is carried out; the defaults are the tool's, the rest is for tests.
struct RunOptions {
    unsigned threads = 1;         // searching threads, the caller's included
    std::size_t room = SIZE_MAX;  // memory the process may still take
    bool use_memo = tuning::use_memo;
    std::size_t memo_budget_bytes = tuning::memo_budget_bytes;
    std::int32_t chunk_numbers{};  // 0: chosen from the range and the limit
    // Once non-zero, every thread stops before its next number (a long number is cut
    // short between two steps); what was found is still written, in range order.
    const std::atomic<int>* stop = nullptr;
    // Kept up to date when not null.
    RunProgress* progress = nullptr;
};

struct RangeJob {
    std::string_view first_digits;  // the first number as typed, without its sign
    std::int32_t count{};           // numbers to test
    std::int32_t iterations{};      // step limit of each
    bool negative{};                // the console shows each number with '-'
    // A run taken up again: the numbers before the `first_index`-th were searched before,
    // and that one is `resume_point` steps along, when given.
    std::int64_t first_index{};
    const TrajectoryPoint* resume_point = nullptr;
};

// Receives the report of the range piece by piece, and where one number is left to
// search, the points along its trajectory.
class ChunkWriter : public PointKeeper {
public:
    // The hits of the next chunk in range order: as the console shows them, and as
    // palin.txt records them. Calls never overlap, but may come from any of the
    // searching threads.
    virtual void write(std::string_view console, std::string_view file) = 0;
    // Everything finished so far has been written and the threads are still searching:
    // the moment to push text out to a reader who is watching.
    virtual void caught_up() {}
    // After a write: every number of the job before the `end`-th has been searched and its
    // hits written, these among them (the numbers before first_index left out).
    virtual void searched(std::int64_t /*end*/, const Tally& /*tally*/) {}
    bool point_due() override { return false; }
    void point_reached(const TrajectoryPoint& /*point*/) override {}
    // The stop flag ended the search early: every number before the `searched`-th of
    // the range was searched and its hits written; beyond it, some numbers were not
    // searched. Called once, after the last write.
    virtual void stopped(std::int64_t /*searched*/) {}
};

// Searches every number of the job from first_index on (count > first_index >= 0, iterations
// >= 1, on threads >= 1), or those it reaches before the stop flag is raised, and returns the
// tally of the hits searched without a gap; the text goes to `writer` as it is produced.
Tally search_range(const RangeJob& job, const RunOptions& options, ChunkWriter& writer);

}  // namespace revadd
