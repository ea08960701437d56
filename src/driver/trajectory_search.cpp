#include "trajectory_search.hpp"

#include <algorithm>
#include <cassert>

#include "search_tuning.hpp"

namespace revadd {

std::int32_t TrajectorySearch::found_here(std::int32_t steps) {
    if (steps != 0) {
        text_.clear();
        trajectory_.append_text(text_);
        palindrome_ = text_;
    }
    return steps;
}

std::int32_t TrajectorySearch::search(std::string_view digits) {
    assert(iterations_ >= 1);
    // An empty digit string is the number 0, as the record arithmetic reads it.
    trajectory_.assign(digits.empty() ? std::string_view("0") : digits);
    if (memo_ == nullptr || iterations_ <= tuning::memo_from_step) {
        return found_here(trajectory_.search(iterations_));
    }

    trajectory_.step();
    if (trajectory_.is_palindrome()) return found_here(1);
    first_sum_.clear();
    trajectory_.append_text(first_sum_);
    const std::int32_t alone = trajectory_.search(tuning::memo_from_step - 1);
    if (alone != 0) return found_here(1 + alone);

    if (const MemoEntry* known = memo_->find(first_sum_)) {
        palindrome_ = known->palindrome;
        return known->steps;
    }
    const std::int32_t rest = trajectory_.search(iterations_ - tuning::memo_from_step);
    const std::int32_t steps = found_here(rest == 0 ? 0 : tuning::memo_from_step + rest);
    memo_->insert(first_sum_, steps, steps == 0 ? std::string_view() : palindrome_);
    return steps;
}

}  // namespace revadd
