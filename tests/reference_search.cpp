// Steps a trajectory through the record arithmetic: a fresh reversal and a fresh sum per
// step, the palindrome test a comparison of the sum with its reversal.
#include "reference_search.hpp"

#include <cassert>
#include <cstring>

#include "base/heap.hpp"
#include "bignum/bignum.hpp"

namespace revadd {
namespace {

// Records local to one search, released however the search ends.
struct Scratch {
    bignum current{};
    bignum sum{};
    Scratch() {
        bigInit(&current);
        bigInit(&sum);
    }
    ~Scratch() {
        bigFree(&current);
        bigFree(&sum);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

}  // namespace

SearchOutcome search_number(std::string_view digits, std::int32_t iterations) {
    assert(iterations >= 1);
    Scratch s;
    str2big(&s.current, digits);

    // Holder for a reversal string: bigAdd reads only its digits, and the step that made
    // the string releases it.
    bignum reversed{1, 0, 0, nullptr};

    // Counted so that a limit of INT32_MAX ends without the counter overflowing.
    for (std::int32_t steps = 1;; ++steps) {
        reversed.number = reverse(s.current.number);
        bigAdd(&s.sum, s.current, reversed);
        heap::release(reversed.number);

        char* sum_reversed = reverse(s.sum.number);
        const bool palindrome = std::strcmp(sum_reversed, s.sum.number) == 0;
        heap::release(sum_reversed);
        if (palindrome) return {true, steps, std::string(s.sum.number, s.sum.ndigits)};
        if (steps == iterations) return {};

        bigCopy(&s.current, s.sum);
    }
}

}  // namespace revadd
