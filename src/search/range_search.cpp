#include "range_search.hpp"

#include <algorithm>
#include <cassert>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/threads.hpp"
#include "chunk_plan.hpp"
#include "decimal_counter.hpp"
#include "engine/step_team.hpp"
#include "ordered_window.hpp"
#include "trajectory_memo.hpp"
#include "trajectory_search.hpp"

namespace revadd {
namespace {

// The memo, the finished text held back and the window of chunks each get a share of the
// memory the process may still take, so that a run in little memory is slower but
// completes. What they hold changes how fast a run goes, never what it writes.
std::unique_ptr<TrajectoryMemo> memo_for(const RunOptions& options) {
    if (!options.use_memo) return nullptr;
    return std::make_unique<TrajectoryMemo>(
        std::min(options.memo_budget_bytes, options.room / tuning::room_share));
}

OrderedWindow window_for(const RangeJob& job, const ChunkPlan& plan, const RunOptions& options,
                         ChunkWriter& writer) {
    const std::size_t share = options.room / tuning::room_share;
    const std::int64_t slots = std::min<std::int64_t>(
        {plan.chunks(), std::int64_t{tuning::chunks_in_flight_per_thread} * options.threads,
         static_cast<std::int64_t>(std::max<std::size_t>(share / OrderedWindow::slot_bytes, 1))});
    return OrderedWindow(job.first_index, plan.chunks(), static_cast<std::size_t>(slots),
                         std::min(tuning::text_in_flight_bytes, share), options.stop, writer);
}

bool alone(const RangeJob& job) { return job.count - job.first_index == 1; }

// One number alone would leave the other cores idle: they share its steps instead.
std::unique_ptr<StepTeam> team_for(const RangeJob& job, unsigned threads) {
    return alone(job) ? std::make_unique<StepTeam>(threads) : nullptr;
}

class RangeRun {
public:
    RangeRun(const RangeJob& job, const RunOptions& options, ChunkWriter& writer)
        : job_(job),
          plan_(static_cast<std::int32_t>(job.count - job.first_index), job.iterations,
                options.threads, options.chunk_numbers),
          memo_(memo_for(options)),
          window_(window_for(job, plan_, options, writer)),
          stop_(options.stop),
          progress_(options.progress),
          writer_(writer) {}

    const ChunkPlan& plan() const { return plan_; }
    const OrderedWindow& window() const { return window_; }

    // The loop of every searching thread, the calling one included; `team`, when given,
    // shares the steps of long numbers.
    void work(StepTeam* team = nullptr) {
        TrajectorySearch search(job_.iterations, memo_.get(), team, stop_);
        // A number searched alone may run for days: its points are kept along the way.
        if (alone(job_)) search.keep_points(&writer_);
        if (progress_ != nullptr && alone(job_)) search.report_steps(&progress_->steps);
        std::string number;
        for (std::int64_t chunk; (chunk = window_.next_chunk()) >= 0;) {
            ChunkReport report = search_chunk(chunk, search, number);
            if (progress_ != nullptr) {
                progress_->numbers.fetch_add(report.searched_end - report.first,
                                             std::memory_order_relaxed);
                progress_->hits.fetch_add(report.tally.count(), std::memory_order_relaxed);
            }
            window_.finish(chunk, std::move(report));
        }
    }

private:
    ChunkReport search_chunk(std::int64_t chunk, TrajectorySearch& search, std::string& number) {
        ChunkReport report;
        report.first = job_.first_index + plan_.first(chunk);
        const std::int64_t end = job_.first_index + plan_.end(chunk);
        // Only the very first number keeps the digits as typed, leading zeros and all.
        number.assign(job_.first_digits);
        if (report.first > 0) add_to_decimal(number, static_cast<std::uint64_t>(report.first));
        std::int64_t i = report.first;
        for (; i < end && !window_.stopping(); ++i) {
            if (i > report.first) increment_decimal(number);
            const std::int32_t steps = i == job_.first_index && job_.resume_point != nullptr
                                           ? search.search_from(*job_.resume_point)
                                           : search.search(number);
            if (steps == TrajectorySearch::stopped) break;
            if (steps == 0) continue;
            report.tally.add(steps);
            const std::string_view palindrome = search.palindrome();
            append_hit(report.file, false, number, palindrome, steps);
            if (job_.negative) append_hit(report.console, true, number, palindrome, steps);
        }
        report.searched_end = i;
        return report;
    }

    const RangeJob& job_;
    const ChunkPlan plan_;
    const std::unique_ptr<TrajectoryMemo> memo_;
    OrderedWindow window_;
    const std::atomic<int>* const stop_;
    RunProgress* const progress_;
    ChunkWriter& writer_;
};

}  // namespace

Tally search_range(const RangeJob& job, const RunOptions& options, ChunkWriter& writer) {
    assert(job.count > job.first_index && job.first_index >= 0 && job.iterations >= 1 &&
           options.threads >= 1);
    RangeRun run(job, options, writer);
    const auto helpers =
        static_cast<unsigned>(std::min<std::int64_t>(run.plan().chunks(), options.threads) - 1);
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < helpers; ++i) {
        auto thread = try_start_thread([&run] { run.work(); });
        if (!thread) break;  // fewer threads search the same chunks, only more slowly
        pool.push_back(std::move(*thread));
    }
    const std::unique_ptr<StepTeam> team = team_for(job, options.threads);
    run.work(team.get());
    for (std::thread& t : pool) t.join();
    const OrderedWindow& window = run.window();
    if (window.stopping()) writer.stopped(window.searched_without_gap());
    assert(window.stopping() || window.written() == run.plan().chunks());
    return window.tally();
}

}  // namespace revadd
