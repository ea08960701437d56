// The search of one number on the trajectory engine, for the run over a range: one per
// thread, reused for every number it tests, so that nothing is allocated per number.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/trajectory.hpp"
#include "trajectory_memo.hpp"

namespace revadd {

class TrajectorySearch {
public:
    // `iterations` >= 1 is the run's step limit; `memo` may be null; `team`, when not
    // null, shares the steps of long numbers between threads; `stop`, when not null and
    // raised, cuts a search short.
    TrajectorySearch(std::int32_t iterations, TrajectoryMemo* memo, StepTeam* team = nullptr,
                     const std::atomic<int>* stop = nullptr)
        : iterations_(iterations), memo_(memo) {
        trajectory_.stop_when(stop);
        trajectory_.share_steps(team);
    }

    // Steps `digits` (as typed: leading zeros count, no sign) to its palindrome: the steps
    // it took, or 0 when none formed within the limit. The same outcome as search_number.
    // `stopped` when the stop flag cut it short; the memo then learns nothing from it.
    std::int32_t search(std::string_view digits);
    static constexpr std::int32_t stopped = Trajectory::stopped;

    // Reports every step of the searches from now on to `progress` (nullptr: no longer).
    void report_steps(StepProgress* progress) { trajectory_.report_steps(progress); }

    // The palindrome of the last search that found one; valid until the next search.
    std::string_view palindrome() const { return palindrome_; }

private:
    std::int32_t found_here(std::int32_t steps);
    std::int32_t remember(std::int32_t steps, bool with_later_sum);

    Trajectory trajectory_;
    const std::int32_t iterations_;
    TrajectoryMemo* const memo_;
    std::string first_sum_;
    std::string later_sum_;
    std::string text_;
    std::string_view palindrome_;
};

}  // namespace revadd
