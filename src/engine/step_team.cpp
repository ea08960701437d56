#include "step_team.hpp"

#include <algorithm>

#include "base/threads.hpp"
#include "carry_patch.hpp"
#include "engine_tuning.hpp"

namespace revadd {

StepTeam::StepTeam(unsigned threads)
    : members_(threads), segments_(std::make_unique<Segment[]>(last_segment() + 1)) {
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

// Which way a step is summed changes its speed, never its sum.
unsigned StepTeam::add_reversed(const ReverseAddKernel& kernel, std::uint8_t* dst,
                                const std::uint8_t* src, std::size_t n) {
    const std::size_t m = limbs_for(n);
    if (members_ == 1) return kernel.add_reversed(dst, src, n, 0, m, 0);
    const bool share = policy_.share_next();
    const bool timed = policy_.timing();
    const Clock::time_point started = timed ? Clock::now() : Clock::time_point{};
    const unsigned carry =
        share ? shared(kernel, dst, src, n) : kernel.add_reversed(dst, src, n, 0, m, 0);
    if (timed)
        policy_.took(std::chrono::duration<double, std::nano>(Clock::now() - started).count(), m);
    return carry;
}

void StepTeam::share_always() { policy_.share_always(); }

unsigned StepTeam::shared(const ReverseAddKernel& kernel, std::uint8_t* dst,
                          const std::uint8_t* src, std::size_t n) {
    lay_out(limbs_for(n));
    step_ = {&kernel, dst, src, n};
    finished_.store(0, std::memory_order_relaxed);
    start_round();
    const std::uint64_t round = round_.load(std::memory_order_relaxed);
    const auto started = Clock::now();
    try_segment(0, round);
    try_segment(last_segment(), round);
    take_over(round, started);
    wait_for_members();
    carry_outs_.clear();
    for (unsigned s = 0; s <= last_segment(); ++s) carry_outs_.push_back(segments_[s].carry_out);
    return patch_carries(dst, bounds_, carry_outs_);
}

void StepTeam::lay_out(std::size_t limbs) {
    // Member k sums low limbs [a_k, a_k+1) and their mirrors [limbs - a_k+1, limbs - a_k),
    // with a_k = half * k / members; the last member takes the middle between its two as
    // one segment.
    const std::size_t half = limbs / 2;
    bounds_.clear();
    for (unsigned k = 0; k < members_; ++k) bounds_.push_back(half * k / members_);
    for (unsigned k = members_; k-- > 0;) bounds_.push_back(limbs - half * k / members_);
}

void StepTeam::take_over(std::uint64_t round, Clock::time_point started) {
    // The others are most likely summing their shares right now: wait for them about as
    // long as ours took, and only then take over what no one has started (touching their
    // claims any earlier would pull those lines away from them).
    poll_finished(Clock::now() - started);
    for (unsigned s = 1; s < last_segment(); ++s) try_segment(s, round);
}

void StepTeam::wait_for_members() {
    // A share being summed must be finished before its limbs are read: poll a moment,
    // then sleep until its member is done.
    poll_finished(team_spin_time);
    std::unique_lock lock(sleep_mutex_);
    caller_asleep_.store(true);
    members_done_.wait(lock, [this] { return finished_.load() == last_segment() + 1; });
    caller_asleep_.store(false);
}

void StepTeam::poll_finished(Clock::duration most) {
    const auto give_up = Clock::now() + most;
    while (finished_.load(std::memory_order_acquire) != last_segment() + 1 &&
           Clock::now() < give_up) {
    }
}

void StepTeam::start_round() {
    // Sequentially consistent with the sleepers' count: a member that counts itself
    // after this check finds the new round before it sleeps.
    round_.fetch_add(1);
    if (sleepers_.load() != 0) wake(round_begun_);
}

void StepTeam::wake(std::condition_variable& sleepers) {
    // A sleeper counts itself under the mutex and then checks: once we hold it, each one
    // counted is either asleep, and woken here, or has found what it waits for.
    { std::lock_guard lock(sleep_mutex_); }
    sleepers.notify_all();
}

void StepTeam::work(unsigned member) {
    std::uint64_t seen{};
    Clock::duration gap{};  // how long the last round was waited for
    for (;;) {
        await_round(seen, gap);
        seen = round_.load(std::memory_order_acquire);
        if (stopping_.load(std::memory_order_relaxed)) return;
        // Read after a round has begun: the constructor may still shrink the team. The
        // middle member's two segments are one, which its second claim finds taken.
        try_segment(member, seen);
        try_segment(last_segment() - member, seen);
    }
}

void StepTeam::await_round(std::uint64_t seen, Clock::duration& gap) {
    // While steps are shared a round follows the last within a step's time: poll up to
    // twice the last wait (without a pause instruction, which a hypervisor may take as a
    // reason to deschedule), so as not to miss it asleep, but never long. Once the caller
    // steps alone no round comes, and the member sleeps.
    const auto since = Clock::now();
    const auto give_up =
        since + std::clamp<Clock::duration>(2 * gap, team_spin_time, team_spin_most);
    for (unsigned polls = 0; round_.load(std::memory_order_acquire) == seen; ++polls) {
        if (polls % 64 == 63 && Clock::now() > give_up) {
            sleep_until_round(seen);
            break;
        }
    }
    gap = Clock::now() - since;
}

void StepTeam::sleep_until_round(std::uint64_t seen) {
    std::unique_lock lock(sleep_mutex_);
    sleepers_.fetch_add(1);
    round_begun_.wait(lock, [this, seen] { return round_.load() != seen; });
    sleepers_.fetch_sub(1);
}

void StepTeam::try_segment(unsigned s, std::uint64_t round) {
    Segment& seg = segments_[s];
    std::uint64_t previous = round - 1;
    if (!seg.claimed.compare_exchange_strong(previous, round, std::memory_order_acq_rel)) return;
    seg.carry_out =
        step_.kernel->add_reversed(step_.dst, step_.src, step_.n, bounds_[s], bounds_[s + 1], 0);
    // Sequentially consistent with the caller's going to sleep: one of the two sees the other.
    finished_.fetch_add(1);
    if (caller_asleep_.load()) wake(members_done_);
}

}  // namespace revadd
