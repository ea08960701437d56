// The AVX-512 reverse-and-add kernel, 64 limbs (128 digits) a vector. A VBMI byte
// permute turns the top of the number around and two-table byte lookups exchange or
// split the digits of each limb. The carries of a whole vector come from two lane
// masks and one 64-bit addition: with G the lanes whose sum is 100 or more and P those
// whose sum is exactly 99, the carries into the lanes are ((G << 1 | carry in) + P) ^ P,
// and the binary carry out of that addition chains from vector to vector.
#include "lane_carries.hpp"
#include "reverse_add_x86.hpp"

#if REVADD_X86_64
#include <immintrin.h>

#define REVADD_AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,bmi,bmi2")))
#define REVADD_AVX512_INLINE REVADD_AVX512_TARGET __attribute__((always_inline)) inline

namespace revadd {
namespace {

constexpr std::size_t lanes = 64;

struct Constants {
    __m512i reverse, low_0, low_64, swapped_0, swapped_64;
};

REVADD_AVX512_INLINE Constants constants() {
    alignas(64) static constexpr std::uint8_t order[lanes] = {
        63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48,
        47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32,
        31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16,
        15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1,  0};
    return {_mm512_load_si512(order), _mm512_loadu_si512(limb_tables.low.data()),
            _mm512_loadu_si512(limb_tables.low.data() + lanes),
            _mm512_loadu_si512(limb_tables.swapped.data()),
            _mm512_loadu_si512(limb_tables.swapped.data() + lanes)};
}

// The 64 limbs ending at `last`, in reverse order.
REVADD_AVX512_INLINE __m512i reversed_block(const Constants& k, const std::uint8_t* last) {
    return _mm512_maskz_permutexvar_epi8(~0ULL, k.reverse, _mm512_loadu_si512(last - (lanes - 1)));
}

// Limbs j .. j+63 of the reversal of n digits held in m limbs.
template <bool odd>
REVADD_AVX512_INLINE __m512i reversed_limbs(const Constants& k, const std::uint8_t* src,
                                            std::size_t m, std::size_t j) {
    const std::uint8_t* mirror = src + (m - 1 - j);
    const __m512i a = reversed_block(k, mirror);
    if constexpr (!odd) {
        return _mm512_permutex2var_epi8(k.swapped_0, a, k.swapped_64);
    } else {
        // Low digit of each mirror limb, high digit (times ten) of the limb below it.
        const __m512i b = reversed_block(k, mirror - 1);
        const __m512i low_a = _mm512_permutex2var_epi8(k.low_0, a, k.low_64);
        const __m512i low_b = _mm512_permutex2var_epi8(k.low_0, b, k.low_64);
        return _mm512_add_epi8(low_a, _mm512_sub_epi8(b, low_b));
    }
}

template <bool odd>
REVADD_AVX512_INLINE unsigned add_reversed(std::uint8_t* dst, const std::uint8_t* src,
                                           std::size_t n, std::size_t begin, std::size_t end,
                                           unsigned carry) {
    const Constants k = constants();
    const __m512i ninety_nine = _mm512_set1_epi8(99);
    const __m512i hundred = _mm512_set1_epi8(100);
    const __m512i minus_one = _mm512_set1_epi8(-1);
    const std::size_t m = limbs_for(n);

    std::uint64_t chained = carry;
    std::size_t j = begin;
    for (; j + lanes <= end; j += lanes) {
        __m512i sum = _mm512_add_epi8(_mm512_loadu_si512(src + j), reversed_limbs<odd>(k, src, m, j));
        const std::uint64_t g = _mm512_cmpgt_epu8_mask(sum, ninety_nine);
        const std::uint64_t p = _mm512_cmpeq_epi8_mask(sum, ninety_nine);
        sum = _mm512_mask_sub_epi8(sum, lane_carries(g, p, chained), sum, minus_one);
        _mm512_storeu_si512(dst + j, _mm512_min_epu8(sum, _mm512_sub_epi8(sum, hundred)));
    }
    if (j == end) return static_cast<unsigned>(chained);

    // The last, partial vector: lanes past `end` hold whatever lies beyond the limbs,
    // which can only disturb carries above them, and they are never stored.
    const std::size_t used = end - j;
    const __mmask64 keep = _bzhi_u64(~0ULL, static_cast<unsigned>(used));
    __m512i sum = _mm512_add_epi8(_mm512_maskz_loadu_epi8(keep, src + j),
                                  reversed_limbs<odd>(k, src, m, j));
    const std::uint64_t g = _mm512_cmpgt_epu8_mask(sum, ninety_nine);
    const std::uint64_t p = _mm512_cmpeq_epi8_mask(sum, ninety_nine);
    const std::uint64_t carries = lane_carries(g, p, chained);
    sum = _mm512_mask_sub_epi8(sum, carries, sum, minus_one);
    _mm512_mask_storeu_epi8(dst + j, keep, _mm512_min_epu8(sum, _mm512_sub_epi8(sum, hundred)));
    return static_cast<unsigned>((carries >> used) & 1);
}

REVADD_AVX512_TARGET unsigned add_reversed_avx512(std::uint8_t* dst, const std::uint8_t* src,
                                                  std::size_t n, std::size_t begin,
                                                  std::size_t end, unsigned carry) {
    return n % 2 == 0 ? add_reversed<false>(dst, src, n, begin, end, carry)
                      : add_reversed<true>(dst, src, n, begin, end, carry);
}

template <bool odd>
REVADD_AVX512_INLINE bool is_palindrome(const std::uint8_t* limbs, std::size_t n) {
    const Constants k = constants();
    const std::size_t m = limbs_for(n);
    const std::size_t last = m / 2;  // the limbs up to here cover the lower half of the digits
    std::size_t j = 0;
    for (; j <= last; j += lanes) {
        const __mmask64 keep = last - j >= lanes - 1 ? ~0ULL : _bzhi_u64(~0ULL, static_cast<unsigned>(last - j + 1));
        const __m512i own = _mm512_maskz_loadu_epi8(keep, limbs + j);
        const __m512i mirror = _mm512_maskz_mov_epi8(keep, reversed_limbs<odd>(k, limbs, m, j));
        if (_mm512_cmpneq_epi8_mask(own, mirror) != 0) return false;
    }
    return true;
}

REVADD_AVX512_TARGET bool is_palindrome_avx512(const std::uint8_t* limbs, std::size_t n) {
    if (n < 2) return true;
    return n % 2 == 0 ? is_palindrome<false>(limbs, n) : is_palindrome<true>(limbs, n);
}

}  // namespace

const ReverseAddKernel avx512_kernel{"avx512vbmi", add_reversed_avx512, is_palindrome_avx512};

}  // namespace revadd
#endif
