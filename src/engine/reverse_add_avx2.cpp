// The AVX2 reverse-and-add kernel, 32 limbs (64 digits) a vector: four 64-bit words of
// the biased binary addition (see limb_bias). A byte shuffle within each 128-bit half
// and a swap of the halves turn the top of the number around; without a 128-entry
// lookup, the digits of a limb come from 16-entry lookups on its top four bits.
//
// The carry out of each word moves up one word and is added in, the top word's carry
// into the next vector; that is exact unless the carry lands on a word of all ones
// (eight limb sums of 99), whose own carry out is then lost. Such a wrap is collected
// over a block of vectors and the block summed again by the portable kernel.
#include <algorithm>
#include <utility>

#include "engine_tuning.hpp"
#include "reverse_add_x86.hpp"

#if REVADD_X86_64
#include <immintrin.h>

#define REVADD_AVX2_TARGET __attribute__((target("avx2,bmi,bmi2")))
#define REVADD_AVX2_INLINE REVADD_AVX2_TARGET __attribute__((always_inline)) inline

namespace revadd {
namespace {

constexpr std::size_t lanes = 32;

// A limb v below 128 is ten_of_eighth[v >> 3] + t with t below 16 (eight times v >> 3
// is 8 or less past a multiple of ten), so its digits are those of t with the tens of
// ten_of_eighth added to the high one, each a 16-entry lookup.
struct EighthTables {
    std::uint8_t ten_of_eighth[16];  // 10 * (8e / 10)
    std::uint8_t eighth_biased[16];  // 8e / 10 + limb_bias
    std::uint8_t swapped[16];        // t's digits exchanged
    std::uint8_t low[16];            // t % 10
};
constexpr EighthTables eighth_tables = [] {
    EighthTables t{};
    for (unsigned e = 0; e < 16; ++e) {
        t.ten_of_eighth[e] = static_cast<std::uint8_t>(8 * e / 10 * 10);
        t.eighth_biased[e] = static_cast<std::uint8_t>(8 * e / 10 + limb_bias);
        t.swapped[e] = static_cast<std::uint8_t>(e % 10 * 10 + e / 10);
        t.low[e] = static_cast<std::uint8_t>(e % 10);
    }
    return t;
}();

REVADD_AVX2_INLINE __m256i lookup(const std::uint8_t (&table)[16], __m256i index) {
    const __m256i t =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table)));
    return _mm256_shuffle_epi8(t, index);
}

REVADD_AVX2_INLINE __m256i load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

REVADD_AVX2_INLINE __m256i reversed(__m256i v) {
    const __m256i within_halves =
        _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11,
                         10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, within_halves), 0x4E);
}

// The 32 limbs ending at `last`, in reverse order.
REVADD_AVX2_INLINE __m256i reversed_block(const std::uint8_t* last) {
    return reversed(load(last - (lanes - 1)));
}

struct Split {
    __m256i eighth;  // v >> 3
    __m256i rest;    // t
};

REVADD_AVX2_INLINE Split split(__m256i v) {
    // The 16-bit shift brings bits of the next limb into bits 5-7: masked off.
    const __m256i eighth = _mm256_and_si256(_mm256_srli_epi16(v, 3), _mm256_set1_epi8(0x0F));
    return {eighth, _mm256_sub_epi8(v, lookup(eighth_tables.ten_of_eighth, eighth))};
}

REVADD_AVX2_INLINE __m256i low_digits(__m256i v) {
    return lookup(eighth_tables.low, split(v).rest);
}

// Limbs j .. j+31 of the reversal of n digits held in m limbs, plus limb_bias.
template <bool odd>
REVADD_AVX2_INLINE __m256i mirror_plus_bias(const std::uint8_t* src, std::size_t m, std::size_t j) {
    const std::uint8_t* mirror = src + (m - 1 - j);
    const __m256i a = reversed_block(mirror);
    if constexpr (!odd) {
        const Split d = split(a);
        return _mm256_add_epi8(lookup(eighth_tables.swapped, d.rest),
                               lookup(eighth_tables.eighth_biased, d.eighth));
    } else {
        // The low digit of each mirror limb, the high digit (times ten) of the limb below it.
        const __m256i b = reversed_block(mirror - 1);
        const __m256i bias = _mm256_set1_epi8(static_cast<char>(limb_bias));
        return _mm256_add_epi8(_mm256_add_epi8(low_digits(a), bias),
                               _mm256_sub_epi8(b, low_digits(b)));
    }
}

// The sign bit of lane 0, where the carry between vectors is kept.
REVADD_AVX2_INLINE unsigned carry_of(__m256i carries_up) {
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(carries_up))) & 1;
}

// The limbs a plus their biased mirror b as four binary words, the carries between the
// words included; `carries_up` passes the carry from vector to vector, and `wrapped`
// collects, in bit 63 of a word, a carry lost on a word of all ones.
REVADD_AVX2_INLINE __m256i add_words(__m256i a, __m256i b, __m256i& carries_up, __m256i& wrapped) {
    const __m256i s = _mm256_add_epi64(a, b);
    // The top byte of a word's sum holds its digits (below 128) where it overflowed and
    // its digits plus the bias (156 or more) where it did not: the word carried out
    // exactly where the sum's bit 63 is clear, that is where it is above -1.
    const __m256i out = _mm256_cmpgt_epi64(s, _mm256_set1_epi64x(-1));
    const __m256i up = _mm256_permute4x64_epi64(out, 0x93);  // words 3, 0, 1, 2
    const __m256i r = _mm256_sub_epi64(s, _mm256_blend_epi32(up, carries_up, 0x03));
    carries_up = up;
    // Only a word of all ones that takes a carry turns bit 63 from 1 to 0.
    wrapped = _mm256_or_si256(wrapped, _mm256_andnot_si256(r, s));
    return r;
}

REVADD_AVX2_INLINE bool any_wrapped(__m256i wrapped) {
    return _mm256_movemask_pd(_mm256_castsi256_pd(wrapped)) != 0;
}

// The lanes below `count` (0 to 32) all ones, the others zero.
REVADD_AVX2_INLINE __m256i lanes_below(std::size_t count) {
    static constexpr std::uint8_t window[2 * lanes] = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    return load(window + lanes - count);
}

// `whole`: the sum of the whole number into limbs 0 to m, limb m taking the carry out of
// the top limb (see StepRun); the last vector then reads no limb above the number.
template <bool odd, bool whole = false>
REVADD_AVX2_INLINE unsigned add_reversed(std::uint8_t* dst, const std::uint8_t* src, std::size_t n,
                                         std::size_t begin, std::size_t end, unsigned carry) {
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(limb_bias));
    const std::size_t m = limbs_for(n);

    // All ones in each word whose addition carried out, moved up a word: lane 0 holds
    // the carry out of the previous vector's top word (at first, the carry in; only lane
    // 0 is ever read).
    __m256i carries_up = _mm256_set1_epi64x(-static_cast<long long>(carry));
    const std::size_t whole_end = begin + (end - begin) / lanes * lanes;
    std::size_t j = begin;
    // Odd: the low digits of the limbs that mirror the current vector, in memory order,
    // worked out a vector ahead: the limbs below them, whose high digits the mirror
    // takes, are the same limbs one lane down, the lowest from the next vector's.
    const std::uint8_t* top = src + (static_cast<std::ptrdiff_t>(m) - 1);
    __m256i low_here =
        odd && j < whole_end ? low_digits(load(top - j - (lanes - 1))) : _mm256_setzero_si256();
    while (j < whole_end) {
        const std::size_t block_end = std::min(whole_end, j + kernel_check_limbs);
        const __m256i carry_in = carries_up;
        __m256i wrapped = _mm256_setzero_si256();
        for (std::size_t k = j; k < block_end; k += lanes) {
            const __m256i a = load(src + k);
            __m256i b;
            if constexpr (!odd) {
                b = mirror_plus_bias<false>(src, m, k);
            } else {
                const __m256i low_next = low_digits(load(top - k - (2 * lanes - 1)));
                const __m256i low_below = _mm256_alignr_epi8(
                    low_here, _mm256_permute2x128_si256(low_next, low_here, 0x21), 15);
                const __m256i below = load(top - k - lanes);
                b = reversed(_mm256_add_epi8(_mm256_add_epi8(low_here, bias),
                                             _mm256_sub_epi8(below, low_below)));
                low_here = low_next;
            }
            const __m256i r = add_words(a, b, carries_up, wrapped);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + k),
                                _mm256_min_epu8(r, _mm256_sub_epi8(r, bias)));
        }
        if (any_wrapped(wrapped)) [[unlikely]] {
            const unsigned out =
                add_reversed_portable(dst, src, n, j, block_end, carry_of(carry_in));
            carries_up = _mm256_set1_epi64x(-static_cast<long long>(out));
        }
        j = block_end;
    }
    const unsigned carry_in = carry_of(carries_up);
    if (!whole && j == end) return carry_in;
    // At the top of the number a whole vector may run on into the guard: what lies
    // beyond the limbs disturbs only the lanes above them, whose sums go there too.
    // Anywhere else, and on a wrap, the portable kernel sums what is left.
    if (!whole && end != m) return add_reversed_portable(dst, src, n, j, end, carry_in);
    __m256i a = load(src + j);
    // The whole sum reads the limbs above the number as 0 (their mirrors are the guard
    // below it), so that lane m - j ends up holding the carry.
    if constexpr (whole) a = _mm256_and_si256(a, lanes_below(end - j));
    __m256i wrapped = _mm256_setzero_si256();
    const __m256i r = add_words(a, mirror_plus_bias<odd>(src, m, j), carries_up, wrapped);
    if (any_wrapped(wrapped)) {
        const unsigned out = add_reversed_portable(dst, src, n, j, end, carry_in);
        if constexpr (whole) dst[end] = static_cast<std::uint8_t>(out);
        return out;
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + j),
                        _mm256_min_epu8(r, _mm256_sub_epi8(r, bias)));
    if constexpr (whole) return 0;
    // The top limb carried out where its byte overflowed, leaving its digits below 128.
    return (static_cast<unsigned>(_mm256_movemask_epi8(r)) >> (end - j - 1) & 1) ^ 1;
}

REVADD_AVX2_TARGET unsigned add_reversed_avx2(std::uint8_t* dst, const std::uint8_t* src,
                                              std::size_t n, std::size_t begin, std::size_t end,
                                              unsigned carry) {
    return n % 2 == 0 ? add_reversed<false>(dst, src, n, begin, end, carry)
                      : add_reversed<true>(dst, src, n, begin, end, carry);
}

template <bool odd>
REVADD_AVX2_INLINE bool is_palindrome_of(const std::uint8_t* limbs, std::size_t n) {
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(limb_bias));
    const std::size_t m = limbs_for(n);
    const std::size_t last = m / 2;  // the limbs up to here cover the lower half of the digits
    std::size_t j = 0;
    for (; j + lanes <= last + 1; j += lanes) {
        const __m256i own =
            _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(limbs + j)), bias);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(own, mirror_plus_bias<odd>(limbs, m, j))) !=
            -1) {
            return false;
        }
    }
    for (; j <= last; ++j) {
        if (limbs[j] != reversed_limb(limbs, n, j)) return false;
    }
    return true;
}

REVADD_AVX2_INLINE bool is_palindrome(const std::uint8_t* limbs, std::size_t n) {
    if (n < 2) return true;
    return n % 2 == 0 ? is_palindrome_of<false>(limbs, n) : is_palindrome_of<true>(limbs, n);
}

REVADD_AVX2_TARGET bool is_palindrome_avx2(const std::uint8_t* limbs, std::size_t n) {
    return is_palindrome(limbs, n);
}

REVADD_AVX2_TARGET std::uint32_t add_reversed_steps_avx2(StepRun& run, std::uint32_t most) {
    std::uint32_t steps = 0;
    run.palindrome = false;
    while (steps < most && limbs_for(run.digits) < run.room) {
        const std::size_t n = run.digits, m = limbs_for(n);
        if (n % 2 == 0) {
            add_reversed<false, true>(run.spare, run.number, n, 0, m, 0);
        } else {
            add_reversed<true, true>(run.spare, run.number, n, 0, m, 0);
        }
        std::swap(run.number, run.spare);
        ++steps;
        run.digits = digits_after_step(run.number, n);
        if (outer_digits_match(run.number, run.digits) && is_palindrome(run.number, run.digits)) {
            run.palindrome = true;
            break;
        }
    }
    return steps;
}

}  // namespace

const ReverseAddKernel avx2_kernel{"avx2", add_reversed_avx2, is_palindrome_avx2,
                                   add_reversed_steps_avx2};

}  // namespace revadd
#endif
