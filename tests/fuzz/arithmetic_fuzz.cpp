// The trajectory engine on every kernel against the record arithmetic, step by step, and
// each kernel's add_reversed on a segment with a carry coming in against plain limb
// arithmetic worked out here from the digits.
//
// Input: byte 0 picks the steps (1-8) and how the digits are shaped, bytes 1-3 the
// segment and its carry, every further byte one digit, mapped so that the ASCII digits
// read as themselves.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bignum/bignum.hpp"
#include "bignum/heap.hpp"
#include "engine/reverse_add_kernel.hpp"
#include "engine/trajectory.hpp"
#include "fuzz_check.hpp"

namespace {

using revadd::fuzz::check;
using revadd::kernel_guard;
using revadd::limbs_for;
using revadd::ReverseAddKernel;

constexpr std::size_t max_digits = 5000;

std::vector<const ReverseAddKernel*> kernels() {
    std::vector<const ReverseAddKernel*> out = {&revadd::portable_kernel};
    for (const ReverseAddKernel* k : revadd::usable_kernels()) {
        if (k != &revadd::portable_kernel) out.push_back(k);
    }
    return out;
}

// Random bytes rarely line up into the shapes where kernels go wrong: digit pairs that
// sum to 9 pass a carry on (long carry runs), and palindromes stop a search. Shape 1
// makes each upper-half digit the 9-complement of its mirror, shape 2 a copy of it; a
// byte of 240 or more keeps its own digit, so the fuzzer can still break the pattern.
std::string shaped_digits(const std::uint8_t* bytes, std::size_t n, unsigned shape) {
    std::string digits(n, '0');
    for (std::size_t k = 0; k < n; ++k) digits[k] = static_cast<char>('0' + (bytes[k] + 2) % 10);
    if (shape == 1 || shape == 2) {
        for (std::size_t k = 0; k < n / 2; ++k) {
            const std::size_t mirror = n - 1 - k;
            if (bytes[mirror] >= 240) continue;
            const int d = digits[k] - '0';
            digits[mirror] = static_cast<char>('0' + (shape == 1 ? 9 - d : d));
        }
    }
    return digits;
}

bool reads_same_both_ways(std::string_view s) { return std::equal(s.begin(), s.end(), s.rbegin()); }

std::string text_of(const revadd::Trajectory& t) {
    std::string s;
    t.append_text(s);
    return s;
}

// The engine's steps against bigAdd of the number and its reversal. The record keeps
// the start's leading zeros for the first reversal, as the engine does, and gives a
// zero sum as "0", as the engine does.
void compare_steps(const std::string& digits, unsigned steps,
                   const std::vector<const ReverseAddKernel*>& all) {
    std::vector<std::string> sums;
    revadd::bignum x{};
    revadd::bigInit(&x);
    revadd::str2big(&x, digits);
    for (unsigned s = 0; s < steps; ++s) {
        // bigAdd reads only the digits of a holder record; the reversal is released here.
        revadd::bignum reversed{1, 0, 0, revadd::reverse(x.number)};
        revadd::bigAdd(&x, x, reversed);
        revadd::heap::release(reversed.number);
        sums.emplace_back(x.number);
    }
    revadd::bigFree(&x);

    for (const ReverseAddKernel* kernel : all) {
        revadd::Trajectory t(*kernel);
        t.assign(digits);
        for (unsigned s = 0; s < steps; ++s) {
            t.step();
            const std::string got = text_of(t);
            check(got == sums[s], "engine sum equals the record sum");
            check(t.size() == got.size(), "engine size is its digit count");
            check(t.is_palindrome() == reads_same_both_ways(got), "engine palindrome test");
        }
        // The buffers are kept for the next number: a shorter one must not see the
        // digits the longer one left behind.
        const std::string shorter = digits.substr(digits.size() / 2);
        revadd::bignum y{}, r{};
        revadd::bigInit(&y);
        revadd::bigInit(&r);
        revadd::str2big(&y, shorter);
        revadd::str2big(&r, std::string(shorter.rbegin(), shorter.rend()));
        revadd::bigAdd(&y, y, r);
        t.assign(shorter);
        t.step();
        check(text_of(t) == y.number, "a reused trajectory sums the next number afresh");
        revadd::bigFree(&y);
        revadd::bigFree(&r);
    }
}

// Limb j of the number and of its reversal, straight from the text (most significant
// first): digit k of the number counting from the low end is digits[n - 1 - k], of the
// reversal digits[k].
unsigned limb_of_number(const std::string& digits, std::size_t j) {
    const std::size_t n = digits.size();
    auto d = [&](std::size_t k) { return k < n ? static_cast<unsigned>(digits[n - 1 - k] - '0') : 0u; };
    return d(2 * j) + 10 * d(2 * j + 1);
}
unsigned limb_of_reversal(const std::string& digits, std::size_t j) {
    const std::size_t n = digits.size();
    auto d = [&](std::size_t k) { return k < n ? static_cast<unsigned>(digits[k] - '0') : 0u; };
    return d(2 * j) + 10 * d(2 * j + 1);
}

void compare_segment(const std::string& digits, const std::uint8_t* params,
                     const std::vector<const ReverseAddKernel*>& all) {
    const std::size_t n = digits.size();
    const std::size_t m = limbs_for(n);
    std::size_t begin = (params[0] | params[1] << 8) % (m + 1);
    std::size_t end = (params[1] | params[2] << 8) % (m + 1);
    if (begin > end) std::swap(begin, end);
    const unsigned carry_in = params[2] >> 7;

    std::vector<std::uint8_t> want;
    unsigned carry = carry_in;
    for (std::size_t j = begin; j < end; ++j) {
        const unsigned v = limb_of_number(digits, j) + limb_of_reversal(digits, j) + carry;
        want.push_back(static_cast<std::uint8_t>(v % 100));
        carry = v / 100;
    }

    // The guards hold junk, except the limb below the first, which always reads as 0:
    // a kernel that depends on anything else there is wrong.
    std::vector<std::uint8_t> src(m + 2 * kernel_guard + 1);
    std::uint32_t junk = 0x9E3779B9u ^ static_cast<std::uint32_t>(n);
    for (auto& b : src) {
        junk = junk * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(junk >> 24);
    }
    src[kernel_guard - 1] = 0;
    for (std::size_t j = 0; j < m; ++j) src[kernel_guard + j] = static_cast<std::uint8_t>(limb_of_number(digits, j));

    for (const ReverseAddKernel* kernel : all) {
        std::vector<std::uint8_t> dst(m + 3 * kernel_guard, 0xA5);
        const unsigned out = kernel->add_reversed(dst.data() + kernel_guard, src.data() + kernel_guard,
                                                  n, begin, end, carry_in);
        check(out == carry, "carry out of the segment");
        check(std::equal(want.begin(), want.end(), dst.begin() + static_cast<std::ptrdiff_t>(kernel_guard + begin)),
              "limbs of the segment");
        // A call that ends at the top limb may write the guard above it, nothing else may be.
        const std::size_t last = end == m ? end + kernel_guard : end;
        for (std::size_t j = 0; j < dst.size(); ++j) {
            const bool inside = j >= kernel_guard + begin && j < kernel_guard + last;
            if (!inside) check(dst[j] == 0xA5, "no write outside the segment");
        }
        check(kernel->is_palindrome(src.data() + kernel_guard, n) == reads_same_both_ways(digits),
              "kernel palindrome test on the start");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const unsigned steps = 1 + (data[0] & 7u);
    const unsigned shape = (data[0] >> 3) & 3u;
    const std::size_t n = std::min(size - 4, max_digits);
    const std::string digits = shaped_digits(data + 4, n, shape);

    static const std::vector<const ReverseAddKernel*> all = kernels();
    compare_steps(digits, steps, all);
    compare_segment(digits, data + 1, all);
    return 0;
}
