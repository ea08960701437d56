// Steps a trajectory through the record arithmetic: a fresh reversal and a fresh sum per
// step, the palindrome test a comparison of the sum with its reversal.
#include "reference_search.hpp"

#include <cassert>
#include <cstring>

#include "base/heap.hpp"
#include "bignum/bignum.hpp"

namespace revadd {

SearchOutcome search_number(std::string_view digits, std::int32_t iterations) {
    assert(iterations >= 1);
    bignum current{}, sum{};
    bigInit(&current);
    bigInit(&sum);
    str2big(&current, digits);
    // Holder for a reversal string: bigAdd reads only its digits, and the step that made
    // the string releases it.
    bignum reversed{1, 0, 0, nullptr};
    SearchOutcome outcome{};
    // Counted so that a limit of INT32_MAX ends without the counter overflowing.
    for (std::int32_t steps = 1;; ++steps) {
        reversed.number = reverse(current.number);
        bigAdd(&sum, current, reversed);
        heap::release(reversed.number);
        char* sum_reversed = reverse(sum.number);
        const bool palindrome = std::strcmp(sum_reversed, sum.number) == 0;
        heap::release(sum_reversed);
        if (palindrome) outcome = {true, steps, std::string(sum.number, sum.ndigits)};
        if (palindrome || steps == iterations) break;
        bigCopy(&current, sum);
    }
    bigFree(&current);
    bigFree(&sum);
    return outcome;
}

}  // namespace revadd
