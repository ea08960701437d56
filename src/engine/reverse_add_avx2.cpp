// The AVX2 reverse-and-add kernel, 32 limbs (64 digits) a vector, for x86-64 CPUs
// without the AVX-512 byte permute. The reversal is a byte shuffle within each 128-bit
// half and a swap of the halves; without a 128-entry lookup, the digits of a limb are
// split through its two nibbles (16 = 10 + 6). Carries are resolved across the vector
// from two lane masks as in the AVX-512 kernel, a 32-bit add-with-carry chaining them.
#include "lane_carries.hpp"
#include "reverse_add_x86.hpp"

#if REVADD_X86_64
#include <immintrin.h>

#define REVADD_AVX2_TARGET __attribute__((target("avx2,bmi,bmi2")))
#define REVADD_AVX2_INLINE REVADD_AVX2_TARGET __attribute__((always_inline)) inline

namespace revadd {
namespace {

constexpr std::size_t lanes = 32;

REVADD_AVX2_INLINE __m256i broadcast_table(const std::uint8_t (&t)[16]) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
}

// The 32 limbs ending at `last`, in reverse order.
REVADD_AVX2_INLINE __m256i reversed_block(const std::uint8_t* last) {
    const __m256i within_halves = _mm256_setr_epi8(
        15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,
        15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(last - (lanes - 1)));
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, within_halves), 0x4E);
}

// The digits of each limb v < 128 by its nibbles: v = 16h + l = 10(q16[h]) + (r16[h] + l),
// with r16[h] + l below 24, so two conditional subtractions of ten finish the split.
struct Split {
    __m256i low;   // v % 10
    __m256i high;  // v / 10
};

REVADD_AVX2_INLINE Split split_digits(__m256i v) {
    static constexpr std::uint8_t r16[16] = {0, 6, 2, 8, 4, 0, 6, 2};
    static constexpr std::uint8_t q16[16] = {0, 1, 3, 4, 6, 8, 9, 11};
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i nine = _mm256_set1_epi8(9);
    const __m256i nineteen = _mm256_set1_epi8(19);
    const __m256i ten = _mm256_set1_epi8(10);
    const __m256i h = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
    const __m256i t = _mm256_add_epi8(_mm256_shuffle_epi8(broadcast_table(r16), h),
                                      _mm256_and_si256(v, nibble));
    __m256i low = _mm256_min_epu8(t, _mm256_sub_epi8(t, ten));
    low = _mm256_min_epu8(low, _mm256_sub_epi8(low, ten));
    // Each comparison is -1 where it holds: subtracting it counts a ten.
    const __m256i high = _mm256_sub_epi8(
        _mm256_sub_epi8(_mm256_shuffle_epi8(broadcast_table(q16), h), _mm256_cmpgt_epi8(t, nine)),
        _mm256_cmpgt_epi8(t, nineteen));
    return {low, high};
}

template <bool odd>
REVADD_AVX2_INLINE __m256i reversed_limbs(const std::uint8_t* src, std::size_t m, std::size_t j) {
    const std::uint8_t* mirror = src + (m - 1 - j);
    const __m256i a = reversed_block(mirror);
    if constexpr (!odd) {
        static constexpr std::uint8_t times_ten[16] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90};
        const Split d = split_digits(a);
        return _mm256_add_epi8(_mm256_shuffle_epi8(broadcast_table(times_ten), d.low), d.high);
    } else {
        const __m256i b = reversed_block(mirror - 1);
        return _mm256_add_epi8(split_digits(a).low, _mm256_sub_epi8(b, split_digits(b).low));
    }
}

// 0xFF in every lane whose bit is set in `mask`, 0 elsewhere.
REVADD_AVX2_INLINE __m256i lanes_of(std::uint32_t mask) {
    const __m256i spread = _mm256_setr_epi8(
        0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,
        2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
    const __m256i bytes =
        _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(mask)), spread);
    return _mm256_cmpeq_epi8(_mm256_and_si256(bytes, bit), bit);
}

template <bool odd>
REVADD_AVX2_INLINE unsigned add_reversed(std::uint8_t* dst, const std::uint8_t* src,
                                         std::size_t n, std::size_t begin, std::size_t end,
                                         unsigned carry) {
    const __m256i ninety_nine = _mm256_set1_epi8(99);
    const __m256i hundred = _mm256_set1_epi8(100);
    const std::size_t m = limbs_for(n);

    std::uint32_t chained = carry;
    std::size_t j = begin;
    for (; j + lanes <= end; j += lanes) {
        __m256i sum = _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + j)),
                                      reversed_limbs<odd>(src, m, j));
        // Sums reach 199: compare unsigned, by the maximum.
        const __m256i at_least_99 = _mm256_cmpeq_epi8(_mm256_max_epu8(sum, ninety_nine), sum);
        const __m256i is_99 = _mm256_cmpeq_epi8(sum, ninety_nine);
        const auto p = static_cast<std::uint32_t>(_mm256_movemask_epi8(is_99));
        const auto g = static_cast<std::uint32_t>(_mm256_movemask_epi8(at_least_99)) & ~p;
        sum = _mm256_sub_epi8(sum, lanes_of(lane_carries(g, p, chained)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + j),
                            _mm256_min_epu8(sum, _mm256_sub_epi8(sum, hundred)));
    }
    carry = chained;
    // The rest limb by limb, with the portable kernel's arithmetic.
    for (; j < end; ++j) {
        const unsigned sum = src[j] + reversed_limb(src, n, j) + carry;
        carry = sum >= 100;
        dst[j] = static_cast<std::uint8_t>(sum - 100 * carry);
    }
    return carry;
}

REVADD_AVX2_TARGET unsigned add_reversed_avx2(std::uint8_t* dst, const std::uint8_t* src,
                                              std::size_t n, std::size_t begin, std::size_t end,
                                              unsigned carry) {
    return n % 2 == 0 ? add_reversed<false>(dst, src, n, begin, end, carry)
                      : add_reversed<true>(dst, src, n, begin, end, carry);
}

template <bool odd>
REVADD_AVX2_INLINE bool is_palindrome(const std::uint8_t* limbs, std::size_t n) {
    const std::size_t m = limbs_for(n);
    const std::size_t last = m / 2;  // the limbs up to here cover the lower half of the digits
    std::size_t j = 0;
    for (; j + lanes <= last + 1; j += lanes) {
        const __m256i own = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(limbs + j));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(own, reversed_limbs<odd>(limbs, m, j))) != -1) {
            return false;
        }
    }
    for (; j <= last; ++j) {
        if (limbs[j] != reversed_limb(limbs, n, j)) return false;
    }
    return true;
}

REVADD_AVX2_TARGET bool is_palindrome_avx2(const std::uint8_t* limbs, std::size_t n) {
    if (n < 2) return true;
    return n % 2 == 0 ? is_palindrome<false>(limbs, n) : is_palindrome<true>(limbs, n);
}

}  // namespace

const ReverseAddKernel avx2_kernel{"avx2", add_reversed_avx2, is_palindrome_avx2};

}  // namespace revadd
#endif
