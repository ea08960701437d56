// The search of one number on the trajectory engine, for the run over a range: one per
// thread, reused for every number it tests, so that nothing is allocated per number.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/trajectory.hpp"
#include "trajectory_memo.hpp"

namespace revadd {

// A number part-way along its trajectory, as a stopped run keeps it and a resumed one
// takes it up: the steps taken and the latest sum's limbs (as Trajectory::limbs()).
struct TrajectoryPoint {
    std::int32_t steps = 0;
    std::size_t digits = 0;
    std::string limbs;
};

// Where a search that may last hours leaves its points along the way.
class PointKeeper {
public:
    virtual ~PointKeeper() = default;
    // Asked every so many steps: whether to hand over the point reached.
    virtual bool point_due() = 0;
    // A point reached, once the keeper asked for it, and wherever a stop cut the search
    // after a step.
    virtual void point_reached(const TrajectoryPoint& point) = 0;
};

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

    // As search(), for a number already `point.steps` steps along (fewer than the limit).
    std::int32_t search_from(const TrajectoryPoint& point);

    // Hands the points of every search from now on to `keeper` (nullptr: no longer); the
    // memo is then left out, as it pays only over many numbers.
    void keep_points(PointKeeper* keeper) { keeper_ = keeper; }

    // Reports every step of the searches from now on to `progress` (nullptr: no longer).
    void report_steps(StepProgress* progress) { trajectory_.report_steps(progress); }

    // The palindrome of the last search that found one; valid until the next search.
    std::string_view palindrome() const { return palindrome_; }

private:
    std::int32_t found_here(std::int32_t steps);
    std::int32_t remember(std::int32_t steps, bool with_later_sum);
    std::int32_t search_kept();
    TrajectoryPoint point() const;

    Trajectory trajectory_;
    const std::int32_t iterations_;
    TrajectoryMemo* const memo_;
    PointKeeper* keeper_ = nullptr;
    std::string first_sum_;
    std::string later_sum_;
    std::string text_;
    std::string_view palindrome_;
};

}  // namespace revadd
