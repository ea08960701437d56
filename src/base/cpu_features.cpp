#include "cpu_features.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#endif

namespace revadd {
namespace {

constexpr bool bit(std::uint64_t word, int n) { return (word >> n & 1) != 0; }

}  // namespace

X86Vectors x86_vectors(const X86Registers& r) {
    // XCR0: SSE and AVX state (bits 1, 2); mask, upper ZMM halves and ZMM16-31 (bits 5-7).
    const bool os_saves_xmm_ymm = bit(r.leaf1_ecx, 27) && (r.xcr0 & 0x6) == 0x6;
    const bool os_saves_zmm = os_saves_xmm_ymm && (r.avx512_on_demand || (r.xcr0 & 0xE0) == 0xE0);
    X86Vectors v;
    v.avx2 = os_saves_xmm_ymm && bit(r.leaf1_ecx, 28) && bit(r.leaf7_ebx, 5) &&
             bit(r.leaf7_ebx, 3) && bit(r.leaf7_ebx, 8);
    v.avx512 = v.avx2 && os_saves_zmm && bit(r.leaf7_ebx, 16) && bit(r.leaf7_ebx, 30) &&
               bit(r.leaf7_ebx, 31) && bit(r.leaf7_ecx, 1);
    return v;
}

X86Vectors x86_vectors() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    X86Registers r;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return {};
    r.leaf1_ecx = c;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
        r.leaf7_ebx = b;
        r.leaf7_ecx = c;
    }
    if (bit(r.leaf1_ecx, 27)) {  // OSXSAVE: xgetbv may be used
        std::uint32_t low = 0, high = 0;
        __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        r.xcr0 = std::uint64_t{high} << 32 | low;
    }
#ifdef __APPLE__
    r.avx512_on_demand = true;
#endif
    return x86_vectors(r);
#else
    return {};
#endif
}

}  // namespace revadd
