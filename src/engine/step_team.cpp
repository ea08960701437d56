#include "step_team.hpp"

#include <algorithm>
#include <cassert>
#include <new>

#include "base/threads.hpp"
#include "engine_tuning.hpp"

namespace revadd {
namespace {

using Clock = std::chrono::steady_clock;

double nanoseconds(Clock::duration d) {
    return std::chrono::duration<double, std::nano>(d).count();
}

}  // namespace

StepTeam::StepTeam(unsigned threads) : members_(threads), segments_(new Segment[2 * members_ - 1]) {
    helpers_.reserve(members_ - 1);
    for (unsigned member = 1; member < members_; ++member) {
        auto helper = try_start_thread([this, member] { work(member); });
        if (!helper) {
            members_ = member;  // the team is smaller, not broken
            break;
        }
        helpers_.push_back(std::move(*helper));
    }
}

StepTeam::~StepTeam() {
    stopping_.store(true, std::memory_order_relaxed);
    start_round();
    for (std::thread& helper : helpers_) helper.join();
}

unsigned StepTeam::add_reversed(const ReverseAddKernel& kernel, std::uint8_t* dst,
                                const std::uint8_t* src, std::size_t n) {
    const std::size_t m = limbs_for(n);
    // mutants: off (a team of one summing alone or through a round: speed only)
    if (members_ == 1) return kernel.add_reversed(dst, src, n, 0, m, 0);
    // mutants: on
    const unsigned carry =
        share_next() ? shared(kernel, dst, src, n) : kernel.add_reversed(dst, src, n, 0, m, 0);
    measured(m);
    return carry;
}

// mutants: off
// Which way a step is summed changes its speed, never its sum: no test can tell the
// choices apart (the benchmark can).
bool StepTeam::share_next() {
    if (phase_ == Phase::run) {
        if (steps_left_ > 0) {
            --steps_left_;
            return sharing_;
        }
        phase_ = Phase::probe_alone;
        samples_.clear();
    }
    step_start_ = Clock::now();
    return phase_ == Phase::probe_shared;
}

void StepTeam::measured(std::size_t limbs) {
    if (phase_ == Phase::run) return;
    // Time a limb took in each step of the window; its median is the figure, which a
    // step held up now and then (a member woken, the process preempted) cannot move, and
    // a machine too busy for sharing most of the time does. The first step of a window
    // is not timed: it may have had to wake the members.
    const auto now = Clock::now();
    if (samples_.empty()) window_start_ = now;
    samples_.push_back(nanoseconds(now - step_start_) / static_cast<double>(limbs));
    if (samples_.size() < team_probe_steps + 1 || now - window_start_ < team_probe_window) return;
    const auto middle = samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() / 2);
    std::nth_element(samples_.begin() + 1, middle, samples_.end());
    const double per_limb = *middle;
    samples_.clear();
    if (phase_ == Phase::probe_alone) {
        alone_ns_per_limb_ = per_limb;
        phase_ = Phase::probe_shared;
        return;
    }
    // A shared step keeps another CPU busy: it has to be worth that.
    sharing_ = per_limb * team_share_gain < alone_ns_per_limb_;
    phase_ = Phase::run;
    const double step_ns = (sharing_ ? per_limb : alone_ns_per_limb_) * static_cast<double>(limbs);
    steps_left_ = static_cast<std::uint64_t>(nanoseconds(team_probe_every) / step_ns);
}
// mutants: on

void StepTeam::start_round() {
    // Sequentially consistent with the sleepers' count: a member that counts itself
    // after this check finds the new round before it sleeps.
    round_.fetch_add(1);
    if (sleepers_.load() != 0) round_.notify_all();
}

bool StepTeam::wait_for_round(std::uint64_t& seen, Clock::duration& gap) {
    const auto since = Clock::now();
    if (!round_begins_soon(seen, gap)) {
        sleepers_.fetch_add(1);
        round_.wait(seen);
        sleepers_.fetch_sub(1);
    }
    gap = Clock::now() - since;
    seen = round_.load(std::memory_order_acquire);
    return !stopping_.load(std::memory_order_relaxed);
}

// mutants: off (how long a member polls before it sleeps: speed only)
bool StepTeam::round_begins_soon(std::uint64_t seen, Clock::duration gap) const {
    // While steps are shared a round follows the last within a step's time: poll up to
    // twice the last wait (without a pause instruction, which a hypervisor may take as a
    // reason to deschedule), so as not to miss it asleep, but never long. Once the caller
    // steps alone no round comes, and the member sleeps.
    const auto give_up =
        Clock::now() + std::clamp<Clock::duration>(2 * gap, team_spin_time, team_spin_most);
    for (unsigned polls = 0;; ++polls) {
        if (round_.load(std::memory_order_acquire) != seen) return true;
        if (polls % 64 == 63 && Clock::now() > give_up) return false;
    }
}
// mutants: on

void StepTeam::try_segment(unsigned s, std::uint64_t round) {
    Segment& seg = segments_[s];
    std::uint64_t previous = round - 1;
    if (!seg.claimed.compare_exchange_strong(previous, round, std::memory_order_acq_rel)) return;
    seg.carry_out = kernel_->add_reversed(dst_, src_, n_, seg.begin, seg.end, 0);
    // Sequentially consistent with the caller's going to sleep: one of the two sees the other.
    finished_.fetch_add(1);
    if (caller_asleep_.load()) finished_.notify_all();
}

void StepTeam::work(unsigned member) {
    std::uint64_t seen = 0;
    Clock::duration gap{};  // how long the last round was waited for
    while (wait_for_round(seen, gap)) {
        // Read after a round has begun: the constructor may still shrink the team.
        const unsigned last = 2 * members_ - 2;
        try_segment(member, seen);
        if (last - member != member) try_segment(last - member, seen);
    }
}

unsigned StepTeam::shared(const ReverseAddKernel& kernel, std::uint8_t* dst,
                          const std::uint8_t* src, std::size_t n) {
    const std::size_t m = limbs_for(n);
    // Member k sums low limbs [a_k, a_k+1) and their mirrors [m - a_k+1, m - a_k); the
    // last member takes the middle between its two as one segment.
    const std::size_t half = m / 2;
    const unsigned last = 2 * members_ - 2;
    for (unsigned k = 0; k < members_; ++k) {
        const std::size_t from = half * k / members_;
        const std::size_t to = half * (k + 1) / members_;
        segments_[k].begin = from;
        segments_[k].end = k + 1 < members_ ? to : m - from;
        if (k + 1 < members_) {
            segments_[last - k].begin = m - to;
            segments_[last - k].end = m - from;
        }
    }
    kernel_ = &kernel;
    dst_ = dst;
    src_ = src;
    n_ = n;
    finished_.store(0, std::memory_order_relaxed);
    start_round();
    const std::uint64_t round = round_.load(std::memory_order_relaxed);

    const auto started = Clock::now();
    try_segment(0, round);
    try_segment(last, round);
    // The others are most likely summing their shares right now: wait for them about as
    // long as ours took, and only then take over what no one has started (touching their
    // claims any earlier would pull those lines away from them).
    // mutants: off (how long it waits before taking over: speed only)
    const auto give_up = Clock::now() + (Clock::now() - started);
    while (finished_.load(std::memory_order_acquire) != last + 1 && Clock::now() < give_up) {
    }
    // mutants: on
    for (unsigned s = 1; s < last; ++s) try_segment(s, round);
    // A share being summed must be finished before its limbs are read: poll a moment,
    // then sleep until its member is done.
    const auto sleep_after = Clock::now() + team_spin_time;
    for (unsigned done; (done = finished_.load(std::memory_order_acquire)) != last + 1;) {
        if (Clock::now() < sleep_after) continue;
        caller_asleep_.store(true);
        if (finished_.load() != last + 1) finished_.wait(done);
        caller_asleep_.store(false);
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
