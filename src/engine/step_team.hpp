// Threads that share the steps of one long trajectory, when that is faster. Each shared
// step is cut into segments that are summed at once, each as if no carry came in
// (carry-select); the carries are then patched in at the segment boundaries, which
// touches only the run of 99 limbs above a boundary.
//
// Whether sharing pays depends on the machine and on what else runs on it: two virtual
// cores that are one physical core gain nothing, and a member whose thread waits for a
// CPU holds the step up. So the team measures: from time to time it times a few steps
// alone and a few shared, and steps the faster way until it looks again. Members that
// are not needed sleep.
//
// A member's share is a pair of mirror segments, one low in the number and one high: the
// limbs it writes are the reversals of the limbs it reads, so the digits a member works
// on stay in its core's cache from step to step. Segments are claimed, not assigned: a
// member that has not started its share when the caller is done with its own is not
// waited for; the caller sums that share itself.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "reverse_add_kernel.hpp"

namespace revadd {

class StepTeam {
public:
    // A team of `threads` >= 1 (the caller counts as one); 1 makes a team that never shares.
    // Fewer when the system gives fewer threads.
    explicit StepTeam(unsigned threads);
    ~StepTeam();
    StepTeam(const StepTeam&) = delete;
    StepTeam& operator=(const StepTeam&) = delete;

    // Writes limbs [0, limbs_for(n)) of src + reverse(src) into dst like one kernel call
    // over the whole number and returns the carry out of the top limb.
    unsigned add_reversed(const ReverseAddKernel& kernel, std::uint8_t* dst,
                          const std::uint8_t* src, std::size_t n);

    // Shares every step from now on, without measuring: for tests and the benchmark.
    void share_always() {
        phase_ = Phase::run;
        sharing_ = true;
        steps_left_ = UINT64_MAX;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct alignas(64) Segment {
        // mutants: off (set before every round: the first values are never read)
        std::size_t begin = 0, end = 0;
        unsigned carry_out = 0;
        // mutants: on
        std::atomic<std::uint64_t> claimed{0};  // the last round whose sum was taken on
    };
    unsigned shared(const ReverseAddKernel& kernel, std::uint8_t* dst, const std::uint8_t* src,
                    std::size_t n);
    bool share_next();
    void measured(std::size_t limbs);
    void work(unsigned member);
    bool wait_for_round(std::uint64_t& seen, Clock::duration& gap);
    bool round_begins_soon(std::uint64_t seen, Clock::duration gap) const;
    void try_segment(unsigned s, std::uint64_t round);
    void start_round();

    unsigned members_;
    std::unique_ptr<Segment[]> segments_;  // in carry order; member k prefers k and 2T-2-k
    std::vector<std::thread> helpers_;

    // The choice between stepping alone and shared: a probe times each way over a window
    // of steps, then the faster one runs for a while.
    enum class Phase { run, probe_alone, probe_shared };
    Phase phase_ = Phase::probe_alone;
    bool sharing_ = false;          // the way chosen by the last probe
    std::uint64_t steps_left_ = 0;  // in the run phase, before the next probe
    Clock::time_point window_start_{}, step_start_{};
    std::vector<double> samples_;  // nanoseconds a limb, each step of the window
    double alone_ns_per_limb_ = 0;

    // The step being shared, published through `round_`.
    // mutants: off (set before every round: the first values are never read)
    const ReverseAddKernel* kernel_ = nullptr;
    std::uint8_t* dst_ = nullptr;
    const std::uint8_t* src_ = nullptr;
    std::size_t n_ = 0;
    // mutants: on
    alignas(64) std::atomic<std::uint64_t> round_{0};
    alignas(64) std::atomic<unsigned> finished_{0};
    std::atomic<unsigned> sleepers_{0};  // members asleep on round_, to be woken
    // mutants: off (starting as true would cost one wake-up call of a caller not asleep)
    std::atomic<bool> caller_asleep_{false};  // the caller sleeps on finished_
    // mutants: on
    std::atomic<bool> stopping_{false};
};

}  // namespace revadd
