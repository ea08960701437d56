// The reverse-and-add kernels: one portable, the others for vector instruction sets,
// each in its own file.
//
// A number of n decimal digits is held in (n + 1) / 2 bytes, least significant first,
// each byte a limb of two digits (0-99). When n is odd the top limb holds one digit, and
// the reversal of a limb is then made of digits from two neighbouring limbs; the limb
// below the first one always reads as 0 (the buffers keep it so).
//
// Every kernel may read up to kernel_guard bytes before a limb buffer and after its
// last limb (the buffers keep those guard zones). It writes only the limbs it is asked
// for, so that separate threads may fill separate parts of one sum, except that a call
// that ends at the top limb may also write the kernel_guard bytes after it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace revadd {

inline constexpr std::size_t kernel_guard = 64;

// Limbs needed for n digits.
constexpr std::size_t limbs_for(std::size_t digits) { return (digits + 1) / 2; }

// Writes dst[j] for begin <= j < end: limb j of src + reverse(src), where src holds n
// digits, with `carry` (0 or 1) coming in at limb begin. Returns the carry out of limb
// end - 1. dst must not overlap src. Requires begin <= end <= limbs_for(n).
using AddReversedFn = unsigned (*)(std::uint8_t* dst, const std::uint8_t* src, std::size_t n,
                                   std::size_t begin, std::size_t end, unsigned carry);

// True when the n digits read the same both ways; stops at the first difference.
using PalindromeFn = bool (*)(const std::uint8_t* limbs, std::size_t n);

struct ReverseAddKernel {
    const char* name;
    AddReversedFn add_reversed;
    PalindromeFn is_palindrome;
};

// Digit tables over every byte value a limb can take, padded to 128 entries so that
// vector kernels can look them up with 7-bit indices.
struct LimbTables {
    std::array<std::uint8_t, 128> low;      // the low digit: v % 10
    std::array<std::uint8_t, 128> swapped;  // the two digits exchanged: v % 10 * 10 + v / 10
};
inline constexpr LimbTables limb_tables = [] {
    LimbTables t{};
    for (unsigned v = 0; v < 100; ++v) {
        t.low[v] = static_cast<std::uint8_t>(v % 10);
        t.swapped[v] = static_cast<std::uint8_t>(v % 10 * 10 + v / 10);
    }
    return t;
}();

// The reference: plain byte arithmetic that builds anywhere.
extern const ReverseAddKernel portable_kernel;

// Every kernel this CPU can run, portable first, fastest last.
std::span<const ReverseAddKernel* const> usable_kernels();

// The fastest usable kernel, chosen once from what the CPU reports.
const ReverseAddKernel& best_kernel();

}  // namespace revadd
