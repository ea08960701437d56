// The trajectory engine: one number stepped by reverse-and-add in place of the record
// arithmetic, without an allocation per step. Two digit buffers take turns as the
// number and its next sum; they grow geometrically and are kept across numbers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reverse_add_kernel.hpp"
#include "step_team.hpp"

namespace revadd {

// How far the search of one number has got, for a display that reads it while the
// search goes on: stored after every step, with relaxed atomics, by a trajectory that
// reports to it.
struct StepProgress {
    std::atomic<std::int64_t> steps{0};   // taken since the number was assigned
    std::atomic<std::int64_t> digits{0};  // of the latest sum
};

// A buffer of limbs (two digits a byte) with zeroed guard zones that kernels may read.
class LimbBuffer {
public:
    // `phase`: where the limbs start within a 4 KiB page (see reserve).
    explicit LimbBuffer(std::size_t phase) : phase_(phase) {}
    ~LimbBuffer();
    LimbBuffer(const LimbBuffer&) = delete;
    LimbBuffer& operator=(const LimbBuffer&) = delete;

    // Makes room for `count` limbs, keeping the first `keep` of them.
    void reserve(std::size_t count, std::size_t keep);
    std::uint8_t* data() { return limbs_; }
    const std::uint8_t* data() const { return limbs_; }
    std::size_t capacity() const { return capacity_; }  // in limbs

private:
    std::size_t phase_;
    void* block_ = nullptr;
    std::uint8_t* limbs_ = nullptr;
    std::size_t capacity_ = 0;
};

class Trajectory {
public:
    explicit Trajectory(const ReverseAddKernel& kernel = best_kernel()) : kernel_(&kernel) {}

    // Starts from `typed`: digits '0'-'9', most significant first, leading zeros kept
    // (they take part in the first reversal, as the record arithmetic has them).
    void assign(std::string_view typed);
    // Takes up a number part-way along its trajectory: `limbs` as limbs() gave them, of a
    // number of `digits` decimal digits, reached after `steps` steps.
    void assign_limbs(std::string_view limbs, std::size_t digits, std::int64_t steps);

    // Adds the number to its reversal; a sum is never left with leading zeros, and an
    // all-zero sum is the single digit 0.
    void step();

    bool is_palindrome() const;

    // Steps until a sum reads the same both ways, at most `limit` times: the number of
    // steps that took, or 0 when none did within the limit. Only sums are tested.
    // Returns `stopped` instead when the stop flag was raised before a step. The steps
    // go through the kernel's many-step entry, in runs of about kernel_run_limbs limbs
    // (one step at a time where a team shares them, and for a start with leading zeros).
    std::int32_t search(std::int32_t limit);
    static constexpr std::int32_t stopped = -1;

    // A flag that, once non-zero, ends search() before its next run of steps: a run takes
    // well under a millisecond, and so does a step at a million digits, so a stop is
    // seen at once.
    void stop_when(const std::atomic<int>* flag) { stop_ = flag; }

    std::size_t size() const { return size_; }                      // in decimal digits
    std::int64_t steps() const { return steps_since_assign_; }      // since assign()
    const std::uint8_t* limbs() const { return current_->data(); }  // least significant first
    // Appends the number as text, most significant digit first.
    void append_text(std::string& out) const;

    // Shares the steps of long numbers with `team` from now on (nullptr: no longer).
    void share_steps(StepTeam* team) { team_ = team; }

    // Reports the steps to `progress` from the next assign() on (nullptr: no longer):
    // step() after every step, search() after every run of steps. search() asks once a
    // call, not once a run: a trajectory that reports nothing runs the loop it always ran.
    void report_steps(StepProgress* progress) { progress_ = progress; }

private:
    void advance();
    void publish_steps();
    template <bool reported>
    std::int32_t search_steps(std::int32_t limit);
    // Up to `most` >= 1 steps, at least one, the fastest way; `palindrome` tells whether
    // the last sum reads the same both ways, which ends the run.
    std::int32_t take_steps(std::int32_t most, bool& palindrome);
    bool has_leading_zero() const;

    // Room for `count` limbs in the next buffer, and the hand-over of the `count` limbs
    // written there.
    std::uint8_t* prepare_next(std::size_t count);
    void commit_next(std::size_t count);

    const ReverseAddKernel* kernel_;
    StepTeam* team_ = nullptr;
    const std::atomic<int>* stop_ = nullptr;
    StepProgress* progress_ = nullptr;
    std::int64_t steps_since_assign_ = 0;
    // Half a page apart, so that a step's stores never alias its loads in 4 KiB terms.
    LimbBuffer buffers_[2]{LimbBuffer(0), LimbBuffer(2048)};
    LimbBuffer* current_ = &buffers_[0];
    LimbBuffer* next_ = &buffers_[1];
    std::size_t size_ = 0;
};

}  // namespace revadd
