// The AVX-512 intrinsics the kernel uses, emulated by SIMDe in portable code, for the
// tests to run that kernel on any CPU: with those SIMDe 0.7.4 lacks written out here.
#pragma once
#define SIMDE_NO_NATIVE
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/avx512.h>

#include <cstdint>
#include <cstring>

using __mmask64 = simde__mmask64;

namespace revadd::emulated {
template <class Lane>
struct Lanes {
    Lane v[64 / sizeof(Lane)];
};
template <class Lane>
Lanes<Lane> lanes(simde__m512i x) {
    Lanes<Lane> r;
    std::memcpy(&r, &x, 64);
    return r;
}
template <class Lane>
simde__m512i vector(const Lanes<Lane>& r) {
    simde__m512i x;
    std::memcpy(&x, &r, 64);
    return x;
}
}  // namespace revadd::emulated

inline simde__m512i _mm512_maskz_alignr_epi64(simde__mmask8 k, simde__m512i a, simde__m512i b, int count) {
    const auto x = revadd::emulated::lanes<std::uint64_t>(a), y = revadd::emulated::lanes<std::uint64_t>(b);
    revadd::emulated::Lanes<std::uint64_t> r{};
    for (int i = 0; i < 8; ++i) {
        if ((k >> i & 1) != 0 && i + count < 16) r.v[i] = i + count < 8 ? y.v[i + count] : x.v[i + count - 8];
    }
    return revadd::emulated::vector(r);
}
inline simde__m512i _mm512_maskz_srli_epi64(simde__mmask8 k, simde__m512i a, unsigned count) {
    auto r = revadd::emulated::lanes<std::uint64_t>(a);
    for (int i = 0; i < 8; ++i) r.v[i] = (k >> i & 1) != 0 && count < 64 ? r.v[i] >> count : 0;
    return revadd::emulated::vector(r);
}
inline simde__mmask8 _mm512_cmplt_epi64_mask(simde__m512i a, simde__m512i b) {
    const auto x = revadd::emulated::lanes<std::int64_t>(a), y = revadd::emulated::lanes<std::int64_t>(b);
    simde__mmask8 m = 0;
    for (int i = 0; i < 8; ++i) m = static_cast<simde__mmask8>(m | (x.v[i] < y.v[i]) << i);
    return m;
}
inline simde__m512i _mm512_maskz_loadu_epi8(simde__mmask64 k, const void* p) {
    revadd::emulated::Lanes<std::uint8_t> r{};
    for (int i = 0; i < 64; ++i) r.v[i] = (k >> i & 1) != 0 ? static_cast<const std::uint8_t*>(p)[i] : 0;
    return revadd::emulated::vector(r);
}
inline void _mm512_mask_storeu_epi8(void* p, simde__mmask64 k, simde__m512i a) {
    const auto x = revadd::emulated::lanes<std::uint8_t>(a);
    for (int i = 0; i < 64; ++i) {
        if ((k >> i & 1) != 0) static_cast<std::uint8_t*>(p)[i] = x.v[i];
    }
}
inline simde__mmask64 _mm512_cmpneq_epi8_mask(simde__m512i a, simde__m512i b) {
    const auto x = revadd::emulated::lanes<std::uint8_t>(a), y = revadd::emulated::lanes<std::uint8_t>(b);
    simde__mmask64 m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<simde__mmask64>(x.v[i] != y.v[i]) << i;
    return m;
}
inline std::uint64_t _bzhi_u64(std::uint64_t x, unsigned n) { return n >= 64 ? x : x & ((std::uint64_t{1} << n) - 1); }
