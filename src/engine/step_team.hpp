// Threads that share the steps of one long trajectory, when that is faster. Each shared
// step is cut into segments that are summed at once, each as if no carry came in; the
// carries are then patched in at the segment boundaries (carry_patch.hpp). Whether a step
// is shared is the share policy's choice, from the times of the steps before it; members
// that are not needed sleep.
//
// A member's share is a pair of mirror segments, one low in the number and one high: the
// limbs it writes are the reversals of the limbs it reads, so the digits a member works
// on stay in its core's cache from step to step. Segments are claimed, not assigned: a
// member that has not started its share when the caller is done with its own is not
// waited for; the caller sums that share itself.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "reverse_add_kernel.hpp"
#include "share_policy.hpp"

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
    void share_always();

    // The caller and the threads it got.
    unsigned members() const { return members_; }

private:
    using Clock = std::chrono::steady_clock;
    // A cache line each: the members write them at once.
    struct alignas(64) Segment {
        std::atomic<std::uint64_t> claimed{};  // the last round whose sum was taken on
        unsigned carry_out;
    };
    // The step being shared, published through `round_`.
    struct Step {
        const ReverseAddKernel* kernel;
        std::uint8_t* dst;
        const std::uint8_t* src;
        std::size_t n;
    };

    unsigned shared(const ReverseAddKernel& kernel, std::uint8_t* dst, const std::uint8_t* src,
                    std::size_t n);
    void lay_out(std::size_t limbs);
    void take_over(std::uint64_t round, Clock::time_point started);
    void wait_for_members();
    void poll_finished(Clock::duration most);
    void work(unsigned member);
    void await_round(std::uint64_t seen, Clock::duration& gap);
    void sleep_until_round(std::uint64_t seen);
    void try_segment(unsigned s, std::uint64_t round);
    void start_round();
    void wake(std::condition_variable& sleepers);
    unsigned last_segment() const { return 2 * members_ - 2; }

    unsigned members_;
    std::unique_ptr<Segment[]> segments_;  // in carry order; member k prefers k and 2T-2-k
    std::vector<std::size_t> bounds_;      // segment s is limbs [bounds_[s], bounds_[s + 1])
    std::vector<unsigned> carry_outs_;     // the segments', gathered for the patch
    std::vector<std::thread> helpers_;
    SharePolicy policy_;

    Step step_{};
    alignas(64) std::atomic<std::uint64_t> round_{};
    alignas(64) std::atomic<unsigned> finished_{};
    std::atomic<unsigned> sleepers_{};   // members asleep until round_ moves, to be woken
    std::atomic<bool> caller_asleep_{};  // the caller sleeps until every share is done
    std::atomic<bool> stopping_{};
    // Sleeping is by condition variable, not std::atomic::wait: MinGW's C++ library
    // notifies the waiters of an atomic without holding their mutex, so one that has just
    // found the old value can miss the wake-up and sleep for good.
    std::mutex sleep_mutex_;
    std::condition_variable round_begun_;
    std::condition_variable members_done_;
};

}  // namespace revadd
