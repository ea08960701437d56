// The portable reverse-and-add kernel: one limb at a time, the reference that every
// vector kernel is tested against.
#include "reverse_add_kernel.hpp"

namespace revadd {
namespace {

// Limb j of the reversal of the n digits in `src`.
inline unsigned reversed_limb(const std::uint8_t* src, std::size_t n, std::size_t j) {
    const std::size_t top = limbs_for(n) - 1 - j;
    if (n % 2 == 0) return limb_tables.swapped[src[top]];
    // Odd: the low digit of the mirror limb, then the high digit of the limb below it.
    const unsigned below = src[static_cast<std::ptrdiff_t>(top) - 1];
    return limb_tables.low[src[top]] + below - limb_tables.low[below];
}

unsigned add_reversed_portable(std::uint8_t* dst, const std::uint8_t* src, std::size_t n,
                               std::size_t begin, std::size_t end, unsigned carry) {
    for (std::size_t j = begin; j < end; ++j) {
        const unsigned sum = src[j] + reversed_limb(src, n, j) + carry;
        carry = sum >= 100;
        dst[j] = static_cast<std::uint8_t>(sum - 100 * carry);
    }
    return carry;
}

bool is_palindrome_portable(const std::uint8_t* limbs, std::size_t n) {
    // Digit k against digit n-1-k: limb j holds digits 2j and 2j+1, so the limbs up to
    // the middle one cover the lower half of the digits.
    const std::size_t half = limbs_for(n) / 2;
    for (std::size_t j = 0; j <= half && j < limbs_for(n); ++j) {
        if (limbs[j] != reversed_limb(limbs, n, j)) return false;
    }
    return true;
}

}  // namespace

const ReverseAddKernel portable_kernel{"portable", add_reversed_portable, is_palindrome_portable};

}  // namespace revadd
