// Every kernel the CPU runs against the record arithmetic (bigAdd of a number and its
// reversal) on whole numbers, and against the limbwise sum on parts of numbers with a
// carry coming in. Besides random digits, the digits make limb sums of 99 in runs that
// cross every word and vector boundary: a carry that lands on eight of them at a word
// boundary wraps the word, and a vector kernel must then sum its block again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bignum/bignum.hpp"
#include "engine/reverse_add_kernel.hpp"

namespace {

using revadd::kernel_guard;
using revadd::limbs_for;

constexpr std::uint32_t seed = 20261207;

// The number as the engine holds it, with junk in the guards where a kernel may read
// but must not depend (all but the limb below the first, which reads as 0).
struct Limbs {
    Limbs(const std::string& digits, std::mt19937& rng)
        : n(digits.size()), bytes(limbs_for(n) + 2 * kernel_guard) {
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        bytes[kernel_guard - 1] = 0;
        const auto digit = [&](std::size_t i) { return i < n ? digits[n - 1 - i] - '0' : 0; };
        for (std::size_t j = 0; j < limbs_for(n); ++j) data()[j] = std::uint8_t(digit(2 * j) + 10 * digit(2 * j + 1));
    }
    std::uint8_t* data() { return bytes.data() + kernel_guard; }
    std::size_t n;
    std::vector<std::uint8_t> bytes;
};

struct Sum { std::vector<std::uint8_t> limbs; unsigned carry; bool operator==(const Sum&) const = default; };

// Limbs [begin, end) of one call; nothing else may change, except the guard above the
// top limb when the call ends there.
Sum call(revadd::AddReversedFn add, Limbs& src, std::size_t begin, std::size_t end, unsigned carry) {
    const std::size_t m = limbs_for(src.n), last = kernel_guard + (end == m ? end + kernel_guard : end);
    std::vector<std::uint8_t> dst(m + 2 * kernel_guard, 0xA5);
    const unsigned out = add(dst.data() + kernel_guard, src.data(), src.n, begin, end, carry);
    for (std::size_t j = 0; j < dst.size(); ++j) {
        EXPECT_TRUE(dst[j] == 0xA5 || (j >= kernel_guard + begin && j < last)) << "wrote byte " << j;
    }
    const auto first = dst.begin() + std::ptrdiff_t(kernel_guard);
    return {{first + std::ptrdiff_t(begin), first + std::ptrdiff_t(end)}, out};
}

std::string record_sum(const std::string& digits) {
    revadd::bignum x{}, r{};
    for (revadd::bignum* b : {&x, &r}) revadd::bigInit(b);
    revadd::str2big(&x, digits);
    revadd::str2big(&r, std::string(digits.rbegin(), digits.rend()));
    revadd::bigAdd(&x, x, r);
    std::string text(x.number);
    for (revadd::bignum* b : {&x, &r}) revadd::bigFree(b);
    return text;
}

std::string text_of(const Sum& s) {
    std::string text = s.carry != 0 ? "1" : "";
    for (std::size_t j = s.limbs.size(); j-- > 0;) text += {char('0' + s.limbs[j] / 10), char('0' + s.limbs[j] % 10)};
    const std::size_t first = text.find_first_not_of('0');
    return first == std::string::npos ? "0" : text.substr(first);
}

enum class Shape { random, nines_above_foot, run_from_every_place, runs_between_random_carries };

// Digits whose pair sums d[k] + d[n-1-k] follow the shape: two 9s make a limb sum of 99,
// 10 or more a carry, 8 or less a stop. Variant v of a run from every place starts its
// run at pair v.
std::string digits_of(Shape shape, std::size_t n, std::size_t v, std::mt19937& rng) {
    std::string digits(n, '0');
    for (std::size_t k = 0; 2 * k + 1 <= n; ++k) {
        const bool stop = rng() % (shape == Shape::run_from_every_place ? 97 : 300) == 0;
        const std::size_t from = shape == Shape::run_from_every_place ? v % (n / 2) : 0;
        int sum = shape == Shape::random || (shape == Shape::runs_between_random_carries && stop) ? int(rng() % 19) : 9;
        if (shape >= Shape::nines_above_foot && k == from) sum = 13;
        if (shape == Shape::run_from_every_place && k > from && stop) sum = 4;
        const int low = std::max(0, sum - 9), d = low + int(rng() % unsigned(std::min(9, sum) - low + 1));
        digits[k] = char('0' + (2 * k + 1 == n ? sum / 2 : d));
        if (2 * k + 1 < n) digits[n - 1 - k] = char('0' + sum - d);
    }
    return digits;
}

// Whether eight limb sums of 99 took a carry at a word boundary, inside whole AVX-512
// vectors of a whole sum: there every vector kernel's fast path wraps a word.
bool wraps_a_word(Limbs& src, const Sum& sum) {
    std::size_t run = 0;
    for (std::size_t j = 0; j < sum.limbs.size() / 64 * 64; ++j) {
        run = sum.limbs[j] == 0 && src.data()[j] + revadd::reversed_limb(src.data(), src.n, j) == 99 ? run + 1 : 0;
        if (run >= 8 && j % 8 == 7) return true;
    }
    return false;
}

std::vector<std::size_t> up_to_300_and(std::vector<std::size_t> more) {
    for (std::size_t n = 1; n <= 300; ++n) more.push_back(n);
    return more;
}

TEST(Kernels, EveryKernelSumsLikeRecordArithmeticAndLimbwise) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const struct { Shape shape; std::vector<std::size_t> lengths; std::size_t variants; } table[] = {
        {Shape::random, up_to_300_and({1000, 1001, 8191, 8192, 20001}), 2},
        {Shape::nines_above_foot, up_to_300_and({8191, 8192, 8193, 20000, 20001}), 1},
        {Shape::run_from_every_place, {299, 300, 1283, 1284}, 642},
        {Shape::runs_between_random_carries, {2000, 2001, 16385, 16386}, 8},
    };
    for (const auto& [shape, lengths, variants] : table) {
        for (const std::size_t n : lengths) {
            for (std::size_t v = 0; v < std::min(variants, n / 2 + 1); ++v) {
                const std::string digits = digits_of(shape, n, v, rng);
                Limbs src(digits, rng);
                const std::size_t m = limbs_for(n), a = rng() % (m + 1), b = rng() % (m + 1);
                const std::size_t lo = std::min(a, b), hi = std::max(a, b);
                const std::size_t parts[][3] = {{0, m, 0}, {0, m, 1}, {lo, hi, 0}, {lo, hi, 1}};
                for (const auto& [begin, end, carry] : parts) {
                    const Sum want = call(revadd::add_reversed_limbwise, src, begin, end, unsigned(carry));
                    const bool whole = begin == 0 && end == m && carry == 0;
                    ASSERT_TRUE(!whole || text_of(want) == record_sum(digits)) << digits;
                    // The shape is there to take the redo path: check that it does.
                    const bool must_wrap = whole && n >= 300 && shape == Shape::nines_above_foot;
                    ASSERT_TRUE(!must_wrap || wraps_a_word(src, want));
                    for (const revadd::ReverseAddKernel* kernel : revadd::usable_kernels()) {
                        ASSERT_EQ(call(kernel->add_reversed, src, begin, end, unsigned(carry)), want)
                            << kernel->name << ", shape " << int(shape) << ", n=" << n << " [" << begin << ", "
                            << end << ") carry " << carry;
                    }
                }
            }
        }
    }
}

TEST(Kernels, PalindromeTestFindsAnyChangedDigit) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed + 1);
    for (const std::size_t n : up_to_300_and({1000, 1001, 4095, 4096})) {
        std::string same(n, '0');
        for (std::size_t k = 0; 2 * k < n; ++k) same[k] = same[n - 1 - k] = char('0' + rng() % 10);
        for (std::size_t k = 0; k <= n; k += n <= 300 ? 1 : 1 + rng() % 40) {
            std::string digits = same;
            if (k < n) digits[k] = char('0' + (digits[k] - '0' + 1 + rng() % 9) % 10);  // k = n: unchanged
            const bool palindrome = std::equal(digits.begin(), digits.end(), digits.rbegin());
            Limbs limbs(digits, rng);
            for (const revadd::ReverseAddKernel* kernel : revadd::usable_kernels()) {
                ASSERT_EQ(kernel->is_palindrome(limbs.data(), n), palindrome) << kernel->name << " " << digits;
            }
        }
    }
}

}  // namespace
