// Whether a team of threads sums its next step shared or alone, from how long the steps
// before it took. Sharing pays or not with the machine and with what else runs on it (two
// virtual cores that are one physical core gain nothing; a member whose thread waits for
// a CPU holds the step up), so from time to time a probe times a window of steps alone
// and one shared, and the faster way then runs until the next probe. The caller times
// the steps: nothing here reads a clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace revadd {

class SharePolicy {
public:
    // The way to sum the next step: true for shared. Asked once a step, so here, where
    // the team's step can inline it.
    bool share_next() {
        if (phase_ == Phase::run) {
            if (steps_left_ > 0) {
                --steps_left_;
                return sharing_;
            }
            phase_ = Phase::probe_alone;
        }
        return phase_ == Phase::probe_shared;
    }

    // True when the step share_next() was last asked about is to be timed and its time
    // given to took().
    bool timing() const { return phase_ != Phase::run; }

    // The time that step took, over the limbs it summed.
    void took(double nanoseconds, std::size_t limbs);

    // Every step shared from now on, none timed.
    void share_always() {
        phase_ = Phase::run;
        sharing_ = true;
        steps_left_ = UINT64_MAX;
    }

private:
    enum class Phase { run, probe_alone, probe_shared };
    Phase phase_ = Phase::probe_alone;
    bool sharing_{};               // in the run phase, the way the last probe chose
    std::uint64_t steps_left_{};   // in the run phase, before the next probe
    bool window_begun_{};          // its first step, which does not count, taken
    std::vector<double> samples_;  // nanoseconds a limb, each step of the window counted
    double window_ns_{};           // the time of those steps
    double alone_ns_per_limb_{};   // the figure of the last window of steps alone
};

}  // namespace revadd
