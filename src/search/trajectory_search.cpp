#include "trajectory_search.hpp"

#include <algorithm>
#include <cassert>

#include "search_tuning.hpp"

namespace revadd {

std::int32_t TrajectorySearch::found_here(std::int32_t steps) {
    if (steps > 0) {
        text_.clear();
        trajectory_.append_text(text_);
        palindrome_ = text_;
    }
    return steps;
}

std::int32_t TrajectorySearch::remember(std::int32_t steps, bool with_later_sum) {
    const std::string_view palindrome = steps == 0 ? std::string_view() : palindrome_;
    memo_->insert(MemoKey::first_sum, first_sum_, steps, palindrome);
    if (with_later_sum) memo_->insert(MemoKey::later_sum, later_sum_, steps, palindrome);
    return steps;
}

TrajectoryPoint TrajectorySearch::point() const {
    const std::uint8_t* limbs = trajectory_.limbs();
    return {static_cast<std::int32_t>(trajectory_.steps()), trajectory_.size(),
            std::string(limbs, limbs + limbs_for(trajectory_.size()))};
}

// In slices of steps, so that the keeper is asked along the way: a slice of a few
// thousand steps takes well under a second even at ten million digits.
std::int32_t TrajectorySearch::search_kept() {
    for (;;) {
        const std::int64_t left = iterations_ - trajectory_.steps();
        if (left <= 0) return found_here(0);
        const std::int32_t found = trajectory_.search(
            static_cast<std::int32_t>(std::min<std::int64_t>(left, tuning::steps_between_points)));
        if (found == stopped) {
            // A number stopped before its first step is taken up from its start.
            if (keeper_ != nullptr && trajectory_.steps() > 0) keeper_->point_reached(point());
            return stopped;
        }
        if (found != 0) return found_here(static_cast<std::int32_t>(trajectory_.steps()));
        if (keeper_ != nullptr && keeper_->point_due()) keeper_->point_reached(point());
    }
}

std::int32_t TrajectorySearch::search_from(const TrajectoryPoint& point) {
    trajectory_.assign_limbs(point.limbs, point.digits, point.steps);
    return search_kept();
}

std::int32_t TrajectorySearch::search(std::string_view digits) {
    assert(iterations_ >= 1);
    constexpr std::int32_t first_ask = tuning::memo_from_step;
    constexpr std::int32_t later_ask = tuning::memo_later_step;
    static_assert(1 <= first_ask && first_ask < later_ask);

    // An empty digit string is the number 0, as the record arithmetic reads it.
    trajectory_.assign(digits.empty() ? std::string_view("0") : digits);
    if (keeper_ != nullptr) return search_kept();
    if (memo_ == nullptr || iterations_ <= first_ask) {
        return found_here(trajectory_.search(iterations_));
    }

    trajectory_.step();
    if (trajectory_.is_palindrome()) return found_here(1);
    first_sum_.clear();
    trajectory_.append_text(first_sum_);
    const std::int32_t alone = trajectory_.search(first_ask - 1);
    if (alone == stopped) return stopped;
    if (alone != 0) return found_here(1 + alone);

    if (const MemoEntry* known = memo_->find(MemoKey::first_sum, first_sum_)) {
        palindrome_ = known->palindrome;
        return known->steps;
    }
    // Every number asks at the same steps, so an outcome found under a later sum holds
    // for any number that reaches that sum: its steps left are the same.
    const std::int32_t before_later =
        trajectory_.search(std::min(iterations_, later_ask) - first_ask);
    if (before_later == stopped) return stopped;
    if (before_later != 0) return remember(found_here(first_ask + before_later), false);
    if (iterations_ <= later_ask) return remember(0, false);

    later_sum_.clear();
    trajectory_.append_text(later_sum_);
    if (const MemoEntry* known = memo_->find(MemoKey::later_sum, later_sum_)) {
        palindrome_ = known->palindrome;
        return remember(known->steps, false);
    }
    const std::int32_t rest = trajectory_.search(iterations_ - later_ask);
    if (rest == stopped) return stopped;
    return remember(found_here(rest == 0 ? 0 : later_ask + rest), true);
}

}  // namespace revadd
