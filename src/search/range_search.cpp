#include "range_search.hpp"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/heap.hpp"
#include "base/threads.hpp"
#include "decimal_counter.hpp"
#include "engine/step_team.hpp"
#include "trajectory_memo.hpp"
#include "trajectory_search.hpp"

namespace revadd {
namespace {

// Numbers per chunk: fewer the costlier a number can be, and few enough that every
// thread gets several chunks of a short range.
std::int32_t chunk_numbers(std::int32_t count, std::int32_t iterations, unsigned threads) {
    const auto limit = static_cast<std::uint64_t>(std::max(iterations, 1));
    const std::uint64_t by_work = tuning::chunk_digit_work / (limit * limit);
    const std::uint64_t by_spread = static_cast<std::uint64_t>(std::max(count, 0)) /
                                    (std::uint64_t{std::max(threads, 1u)} *
                                     static_cast<std::uint64_t>(tuning::min_chunks_per_thread));
    const std::uint64_t chunk =
        std::min({by_work, by_spread, static_cast<std::uint64_t>(tuning::max_chunk_numbers)});
    return static_cast<std::int32_t>(std::max<std::uint64_t>(chunk, 1));
}

// The report of one chunk: made by the thread that searched it, kept in a slot until
// every chunk before it is written.
struct ChunkReport {
    std::string console;
    std::string file;
    Tally tally;
    std::int64_t searched_end = 0;  // index after the last number searched in full
    std::size_t bytes() const { return console.size() + file.size(); }
};

struct Slot {
    ChunkReport report;
    bool done = false;
};

class RangeRun {
public:
    // `room`: the memory the process may still take. The memo, the finished text held
    // back and the window of chunks each get a share of it, so that a run in little
    // memory is slower but completes.
    RangeRun(const RangeJob& job, const RunOptions& options, ChunkWriter& writer, unsigned threads,
             std::size_t room)
        : job_(job),
          writer_(writer),
          chunk_(options.chunk_numbers > 0 ? options.chunk_numbers
                                           : chunk_numbers(job.count, job.iterations, threads)),
          chunks_((static_cast<std::int64_t>(job.count) + chunk_ - 1) / chunk_),
          slots_(static_cast<std::size_t>(std::min<std::int64_t>(
              {chunks_, std::int64_t{tuning::chunks_in_flight_per_thread} * threads,
               static_cast<std::int64_t>(
                   std::max<std::size_t>(room / tuning::room_share / sizeof(Slot), 1))}))),
          // mutants: off (buffers kept for reuse: speed and memory only, see take_spare)
          spare_limit_(room / tuning::room_share < tuning::spare_report_max_bytes
                           ? 0
                           : std::size_t{2} * tuning::spare_reports_per_thread * threads),
          // mutants: on
          text_limit_(std::min(tuning::text_in_flight_bytes, room / tuning::room_share)),
          stop_(options.stop),
          progress_(options.progress) {
        // mutants: off (a memo or none gives the same hits: the tests run both and compare)
        if (options.use_memo)
            memo_.emplace(std::min(options.memo_budget_bytes, room / tuning::room_share));
        // mutants: on
    }

    std::int64_t chunks() const { return chunks_; }
    const Tally& tally() const { return tally_; }
    bool all_written() const { return written_ == chunks_; }
    bool stopping() const {
        return stop_ != nullptr && stop_->load(std::memory_order_relaxed) != 0;
    }
    std::int64_t searched_without_gap() const { return searched_without_gap_; }

    // The loop of every searching thread, the calling one included; `team`, when given,
    // shares the steps of long numbers.
    void work(StepTeam* team = nullptr) {
        TrajectorySearch search(job_.iterations, memo_ ? &*memo_ : nullptr, team, stop_);
        if (progress_ != nullptr && job_.count == 1) search.report_steps(&progress_->steps);
        std::string number;
        ChunkReport report;
        std::unique_lock lock(mutex_);
        for (;;) {
            slot_freed_.wait(lock, [this] { return nothing_left() || may_start_next(); });
            if (nothing_left()) return;
            const std::int64_t chunk = next_++;
            // mutants: off (buffers from the pool: see take_spare)
            take_spare(report.console);
            take_spare(report.file);
            // mutants: on
            lock.unlock();
            search_chunk(chunk, report, search, number);
            if (progress_ != nullptr) {
                progress_->numbers.fetch_add(report.searched_end - chunk * chunk_,
                                             std::memory_order_relaxed);
                progress_->hits.fetch_add(report.tally.count(), std::memory_order_relaxed);
            }
            lock.lock();
            Slot& slot = slot_of(chunk);
            held_bytes_ += report.bytes();
            slot.report = std::move(report);
            slot.done = true;
            // The thread that finishes the oldest chunk writes it, and whatever finished
            // behind it; a chunk that finishes while someone writes is left to them.
            if (!writing_ && chunk == written_) write_ready(lock);
        }
    }

private:
    std::int64_t slot_count() const { return static_cast<std::int64_t>(slots_.size()); }
    Slot& slot_of(std::int64_t chunk) {
        return slots_[static_cast<std::size_t>(chunk % slot_count())];
    }
    bool next_is_done() { return written_ < chunks_ && slot_of(written_).done; }
    bool nothing_left() const { return next_ >= chunks_ || stopping(); }

    // A chunk may start while its slot is free and the finished text waiting for an
    // earlier chunk is within bounds. The oldest chunk may always start: whatever waits
    // is behind it, so nothing could ever be written without it.
    bool may_start_next() const {
        if (next_ >= written_ + slot_count()) return false;
        return next_ == written_ || held_bytes_ < text_limit_;
    }

    // Buffers go round from writer to searchers so that a run of any length allocates
    // only a few of them; the pool is small, so what it keeps is bounded too. Which
    // buffer a chunk gets never changes its text: no test can tell.
    // mutants: off
    void take_spare(std::string& text) {
        if (!spare_.empty()) {
            text.swap(spare_.back());
            spare_.pop_back();
        }
        text.clear();
    }
    void give_back(std::string& text) {
        if (spare_.size() >= spare_limit_ || text.capacity() > tuning::spare_report_max_bytes) {
            std::string().swap(text);
            return;
        }
        try {
            const AllocationMayFail optional;
            spare_.push_back(std::move(text));
        } catch (const std::bad_alloc&) {  // kept for reuse only while memory allows
        }
    }
    // mutants: on

    void search_chunk(std::int64_t chunk, ChunkReport& report, TrajectorySearch& search,
                      std::string& number) {
        report.tally = Tally{};
        const std::int64_t first = chunk * chunk_;
        const std::int64_t end = std::min<std::int64_t>(first + chunk_, job_.count);
        // Only the very first number keeps the digits as typed, leading zeros and all.
        number.assign(job_.first_digits);
        if (first > 0) add_to_decimal(number, static_cast<std::uint64_t>(first));
        std::int64_t i = first;
        for (; i < end && !stopping(); ++i) {
            if (i > first) increment_decimal(number);
            const std::int32_t steps = search.search(number);
            if (steps == TrajectorySearch::stopped) break;
            if (steps == 0) continue;
            report.tally.add(steps);
            const std::string_view palindrome = search.palindrome();
            append_hit(report.file, false, number, palindrome, steps);
            if (job_.negative) append_hit(report.console, true, number, palindrome, steps);
        }
        report.searched_end = i;
    }

    // Called with the lock held and the oldest unwritten chunk done; returns with the
    // lock held and the writer role given up.
    void write_ready(std::unique_lock<std::mutex>& lock) {
        writing_ = true;
        ChunkReport report;
        do {
            while (next_is_done()) {
                Slot& slot = slot_of(written_);
                report = std::move(slot.report);
                slot.done = false;
                lock.unlock();
                // Without a sign the console and the file read the same: one text serves both.
                writer_.write(job_.negative ? report.console : report.file, report.file);
                tally_.add(report.tally);
                if (searched_without_gap_ == written_ * chunk_) {
                    searched_without_gap_ = report.searched_end;
                }
                lock.lock();
                held_bytes_ -= report.bytes();
                // mutants: off (buffers to the pool: see take_spare)
                give_back(report.console);
                give_back(report.file);
                // mutants: on
                ++written_;
                slot_freed_.notify_all();
            }
            if (written_ == chunks_) break;
            lock.unlock();
            writer_.caught_up();
            lock.lock();
            // A chunk that finished during caught_up() saw the role taken and left it here.
        } while (next_is_done());
        writing_ = false;
    }

    const RangeJob& job_;
    ChunkWriter& writer_;
    const std::int64_t chunk_;
    const std::int64_t chunks_;
    std::optional<TrajectoryMemo> memo_;

    // All below is guarded by mutex_, except tally_, which only the writer role touches.
    std::mutex mutex_;
    std::condition_variable slot_freed_;
    std::vector<Slot> slots_;  // chunk c waits in slot c % size
    std::vector<std::string> spare_;
    const std::size_t spare_limit_;
    const std::size_t text_limit_;
    std::size_t held_bytes_ = 0;  // text of finished chunks not yet written
    std::int64_t next_ = 0;       // next chunk to hand out
    std::int64_t written_ = 0;    // chunks written so far
    bool writing_ = false;        // a thread holds the writer role
    const std::atomic<int>* const stop_;
    RunProgress* const progress_;
    Tally tally_;
    // Numbers from the first of the range that were all searched: up to where the first
    // chunk cut short by a stop got to. Only the writer role touches it.
    std::int64_t searched_without_gap_ = 0;
};

}  // namespace

Tally search_range(const RangeJob& job, const RunOptions& options, ChunkWriter& writer) {
    assert(job.count >= 1 && job.iterations >= 1);
    const unsigned threads = std::max(options.threads, 1u);
    RangeRun run(job, options, writer, threads, options.room);

    const auto helpers = static_cast<unsigned>(
        std::min<std::int64_t>(run.chunks(), static_cast<std::int64_t>(threads)) - 1);
    std::vector<std::thread> pool;
    pool.reserve(helpers);
    for (unsigned i = 0; i < helpers; ++i) {
        auto thread = try_start_thread([&run] { run.work(); });
        if (!thread) break;  // fewer threads search the same chunks, only more slowly
        pool.push_back(std::move(*thread));
    }
    // One number alone would leave the other cores idle: they share its steps instead.
    std::optional<StepTeam> team;
    if (job.count == 1) team.emplace(threads);
    run.work(team ? &*team : nullptr);
    for (std::thread& t : pool) t.join();
    if (run.stopping()) {
        writer.stopped(run.searched_without_gap());
    } else {
        assert(run.all_written());
    }
    return run.tally();
}

}  // namespace revadd
