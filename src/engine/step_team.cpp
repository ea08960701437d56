#include "step_team.hpp"

#include <cassert>
#include <chrono>
#include <system_error>

#include "engine_tuning.hpp"

namespace revadd {

StepTeam::StepTeam(unsigned threads)
    : members_(threads < 1 ? 1 : threads), segments_(new Segment[2 * members_ - 1]) {
    for (unsigned member = 1; member < members_; ++member) {
        try {
            helpers_.emplace_back([this, member] { work(member); });
        } catch (const std::system_error&) {
            // The system will not give another thread: the team is smaller, not broken.
            members_ = member;
            break;
        }
    }
}

StepTeam::~StepTeam() {
    stopping_.store(true, std::memory_order_relaxed);
    start_round();
    for (std::thread& helper : helpers_) helper.join();
}

void StepTeam::start_round() {
    // Sequentially consistent with the sleepers' count: a member that counts itself
    // after this check finds the new round before it sleeps.
    round_.fetch_add(1);
    if (sleepers_.load() != 0) round_.notify_all();
}

bool StepTeam::wait_for_round(std::uint64_t& seen) {
    // Between the steps of a long run the wait is a microsecond or two: poll for a
    // while (without a pause instruction, which a hypervisor may take as a reason to
    // deschedule), and sleep only when no long trajectory is being stepped.
    using clock = std::chrono::steady_clock;
    const auto give_up = clock::now() + team_spin_time;
    for (unsigned polls = 0;; ++polls) {
        const std::uint64_t now = round_.load(std::memory_order_acquire);
        if (now != seen) {
            seen = now;
            return !stopping_.load(std::memory_order_relaxed);
        }
        if (polls % 1024 == 1023 && clock::now() > give_up) break;
    }
    sleepers_.fetch_add(1);
    round_.wait(seen);
    sleepers_.fetch_sub(1);
    seen = round_.load(std::memory_order_acquire);
    return !stopping_.load(std::memory_order_relaxed);
}

void StepTeam::try_segment(unsigned s, std::uint64_t round) {
    Segment& seg = segments_[s];
    std::uint64_t previous = round - 1;
    if (!seg.claimed.compare_exchange_strong(previous, round, std::memory_order_acq_rel)) return;
    seg.carry_out = kernel_->add_reversed(dst_, src_, n_, seg.begin, seg.end, 0);
    finished_.fetch_add(1, std::memory_order_release);
}

void StepTeam::work(unsigned member) {
    std::uint64_t seen = 0;
    while (wait_for_round(seen)) {
        // Read after a round has begun: the constructor may still shrink the team.
        const unsigned last = 2 * members_ - 2;
        try_segment(member, seen);
        if (last - member != member) try_segment(last - member, seen);
    }
}

unsigned StepTeam::add_reversed(const ReverseAddKernel& kernel, std::uint8_t* dst,
                                const std::uint8_t* src, std::size_t n) {
    const std::size_t m = limbs_for(n);
    if (members_ == 1) return kernel.add_reversed(dst, src, n, 0, m, 0);

    // Member k sums low limbs [a_k, a_k+1) and their mirrors [m - a_k+1, m - a_k); the
    // last member takes the middle between its two as one segment.
    const std::size_t half = m / 2;
    const unsigned last = 2 * members_ - 2;
    for (unsigned k = 0; k < members_; ++k) {
        const std::size_t from = half * k / members_;
        const std::size_t to = half * (k + 1) / members_;
        if (k + 1 < members_) {
            segments_[k].begin = from;
            segments_[k].end = to;
            segments_[last - k].begin = m - to;
            segments_[last - k].end = m - from;
        } else {
            segments_[k].begin = from;
            segments_[k].end = m - from;
        }
    }
    kernel_ = &kernel;
    dst_ = dst;
    src_ = src;
    n_ = n;
    finished_.store(0, std::memory_order_relaxed);
    start_round();
    const std::uint64_t round = round_.load(std::memory_order_relaxed);

    try_segment(0, round);
    try_segment(last, round);
    // The others are most likely summing their segments right now: wait for them about
    // as long as a segment takes, and only then take over what no one has started
    // (touching their claims any earlier would pull those lines away from them).
    const std::size_t patience = team_patience_polls + m / 2;
    for (std::size_t polls = 0; polls < patience; ++polls) {
        if (finished_.load(std::memory_order_acquire) == last + 1) break;
    }
    for (unsigned s = 1; s < last; ++s) try_segment(s, round);
    while (finished_.load(std::memory_order_acquire) != last + 1) {
    }

    // Carries into each segment after the first, in order: a carry turns the run of 99
    // limbs at the segment's foot to 0 and adds 1 above it; a run filling the segment
    // passes the carry on (its own carry out is then 0, as an all-99 result of a sum
    // without carry in cannot also carry out).
    unsigned carry = segments_[0].carry_out;
    for (unsigned s = 1; s <= last; ++s) {
        const Segment& seg = segments_[s];
        unsigned out = seg.carry_out;
        if (carry != 0) {
            std::size_t j = seg.begin;
            while (j < seg.end && dst[j] == 99) dst[j++] = 0;
            if (j < seg.end) {
                ++dst[j];
            } else {
                assert(out == 0);
                out = 1;
            }
        }
        carry = out;
    }
    return carry;
}

}  // namespace revadd
