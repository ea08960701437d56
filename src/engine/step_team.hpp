// Threads that share the steps of one long trajectory. Each step is cut into segments
// that are summed at once, each as if no carry came in (carry-select); the carries are
// then patched in at the segment boundaries, which touches only the run of 99 limbs
// above a boundary.
//
// A member's share is a pair of mirror segments, one low in the number and one high:
// the limbs it writes are the reversals of the limbs it reads, so the digits a member
// works on stay in its core's cache from step to step. Segments are claimed, not
// assigned: when a member is late (its thread descheduled on a busy machine), the
// caller sums its segments itself instead of waiting.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "reverse_add_kernel.hpp"

namespace revadd {

class StepTeam {
public:
    // A team of `threads` (the caller counts as one); 1 makes a team that never splits.
    explicit StepTeam(unsigned threads);
    ~StepTeam();
    StepTeam(const StepTeam&) = delete;
    StepTeam& operator=(const StepTeam&) = delete;

    // Writes limbs [0, limbs_for(n)) of src + reverse(src) into dst like one kernel call
    // over the whole number and returns the carry out of the top limb.
    unsigned add_reversed(const ReverseAddKernel& kernel, std::uint8_t* dst,
                          const std::uint8_t* src, std::size_t n);

private:
    struct alignas(64) Segment {
        std::size_t begin = 0, end = 0;
        unsigned carry_out = 0;
        std::atomic<std::uint64_t> claimed{0};  // the last round whose sum was taken on
    };
    void work(unsigned member);
    bool wait_for_round(std::uint64_t& seen);
    // Sums segment `s` for round `round` unless someone already took it on.
    void try_segment(unsigned s, std::uint64_t round);
    void start_round();

    unsigned members_;
    std::unique_ptr<Segment[]> segments_;  // in carry order; member k prefers k and 2T-2-k
    std::vector<std::thread> helpers_;
    // The step being shared, published through `round_`.
    const ReverseAddKernel* kernel_ = nullptr;
    std::uint8_t* dst_ = nullptr;
    const std::uint8_t* src_ = nullptr;
    std::size_t n_ = 0;
    alignas(64) std::atomic<std::uint64_t> round_{0};
    alignas(64) std::atomic<unsigned> finished_{0};
    std::atomic<unsigned> sleepers_{0};  // members asleep on round_, to be woken
    std::atomic<bool> stopping_{false};
};

}  // namespace revadd
