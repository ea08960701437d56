// The search of one number: the only place that knows how a trajectory is stepped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace revadd {

struct SearchOutcome {
    bool formed;             // a palindrome formed within the limit
    std::int32_t steps;      // steps it took (meaningful when formed)
    std::string palindrome;  // its digits (when formed)
};

// Adds `digits` (as typed: leading zeros count, no sign) to its reversal until the sum
// reads the same both ways, at most `iterations` times (at least 1). Only sums are
// tested, never the starting digits themselves.
SearchOutcome search_number(std::string_view digits, std::int32_t iterations);

}  // namespace revadd
