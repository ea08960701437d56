// The AVX-512 intrinsics the kernel uses, emulated by SIMDe in portable code, so that the
// tests run that kernel on any CPU; those SIMDe 0.7.4 lacks are written out here.
#pragma once
#define SIMDE_NO_NATIVE
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/avx512.h>

#include <cstdint>
#include <cstring>

using __mmask64 = simde__mmask64;

// Each applies `f(lane, x, y, out)` to the lanes of type T of two vectors.
template <class T, class F>
simde__m512i emulated_lanes(simde__m512i a, simde__m512i b, F f) {
    T x[64 / sizeof(T)], y[64 / sizeof(T)], r[64 / sizeof(T)] = {};
    std::memcpy(x, &a, 64);
    std::memcpy(y, &b, 64);
    for (int i = 0; i < static_cast<int>(64 / sizeof(T)); ++i) f(i, x, y, r[i]);
    std::memcpy(&a, r, 64);
    return a;
}
inline simde__m512i _mm512_maskz_alignr_epi64(simde__mmask8 k, simde__m512i a, simde__m512i b,
                                              int n) {
    return emulated_lanes<std::uint64_t>(a, b, [&](int i, auto x, auto y, auto& r) {
        if ((k >> i & 1) != 0 && i + n < 16) r = i + n < 8 ? y[i + n] : x[i + n - 8];
    });
}
inline simde__m512i _mm512_maskz_srli_epi64(simde__mmask8 k, simde__m512i a, unsigned n) {
    return emulated_lanes<std::uint64_t>(a, a, [&](int i, auto x, auto, auto& r) {
        r = (k >> i & 1) != 0 && n < 64 ? x[i] >> n : 0;
    });
}
inline simde__mmask8 _mm512_cmplt_epi64_mask(simde__m512i a, simde__m512i b) {
    simde__mmask8 m = 0;
    emulated_lanes<std::int64_t>(a, b, [&](int i, auto x, auto y, auto&) {
        m = static_cast<simde__mmask8>(m | (x[i] < y[i]) << i);
    });
    return m;
}
inline simde__m512i _mm512_maskz_loadu_epi8(simde__mmask64 k, const void* p) {
    unsigned char bytes[64] = {};  // only the lanes kept are read, as the instruction does
    for (int i = 0; i < 64; ++i)
        bytes[i] = (k >> i & 1) != 0 ? static_cast<const unsigned char*>(p)[i] : 0;
    simde__m512i a;
    std::memcpy(&a, bytes, 64);
    return a;
}
inline void _mm512_mask_storeu_epi8(void* p, simde__mmask64 k, simde__m512i a) {
    for (int i = 0; i < 64; ++i) {
        if ((k >> i & 1) != 0)
            std::memcpy(static_cast<char*>(p) + i, reinterpret_cast<const char*>(&a) + i, 1);
    }
}
inline std::uint64_t _bzhi_u64(std::uint64_t x, unsigned n) {
    return n >= 64 ? x : x & ((std::uint64_t{1} << n) - 1);
}
