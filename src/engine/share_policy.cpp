#include "share_policy.hpp"

#include <algorithm>
#include <chrono>

#include "engine_tuning.hpp"

namespace revadd {
namespace {

constexpr double nanoseconds(std::chrono::nanoseconds d) { return static_cast<double>(d.count()); }

}  // namespace

void SharePolicy::took(double nanoseconds_taken, std::size_t limbs) {
    if (phase_ == Phase::run) return;
    // The first step of a window does not count: it may have had to wake the members.
    if (!window_begun_) {
        window_begun_ = true;
        return;
    }
    // The figure of a window is the median time a limb took, which a step held up now and
    // then (a member woken, the process preempted) cannot move, and a machine too busy for
    // sharing most of the time does.
    window_ns_ += nanoseconds_taken;
    samples_.push_back(nanoseconds_taken / static_cast<double>(limbs));
    if (samples_.size() < team_probe_steps || window_ns_ < nanoseconds(team_probe_window)) return;
    const auto middle = samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() / 2);
    std::nth_element(samples_.begin(), middle, samples_.end());
    const double per_limb = *middle;
    samples_.clear();
    window_ns_ = 0.0;
    window_begun_ = false;
    if (phase_ == Phase::probe_alone) {
        alone_ns_per_limb_ = per_limb;
        phase_ = Phase::probe_shared;
        return;
    }
    // A shared step keeps another CPU busy: it has to be worth that.
    sharing_ = per_limb * team_share_gain <= alone_ns_per_limb_;
    phase_ = Phase::run;
    const double step_ns = (sharing_ ? per_limb : alone_ns_per_limb_) * static_cast<double>(limbs);
    steps_left_ = static_cast<std::uint64_t>(nanoseconds(team_probe_every) / step_ns);
}

}  // namespace revadd
