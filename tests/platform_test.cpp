// The parts of the platform layer that only decide, from what a system reports: run on
// every system, whichever of them the build is for.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "base/cpu_features.hpp"
#include "base/machine.hpp"

namespace {

using namespace revadd;

// A Windows process keeps to its affinity mask; left to the whole of its group on a machine
// of several groups, or with threads in several already (no mask then), it has them all.
TEST(Platform, WindowsCpusAreTheAffinitysOrEveryGroups) {
    for (const auto& [process, group, active, cpus] :
         std::vector<std::tuple<std::uint64_t, std::uint64_t, std::vector<unsigned>, unsigned>>{
             {0xF, 0xF, {4}, 4},
             {0x5, 0xF, {4}, 2},
             {~0ull, ~0ull, {64}, 64},
             {~0ull, ~0ull, {64, 64, 16}, 144},
             {0x3, ~0ull, {64, 64}, 2},
             {0xFFFF, 0xFFFF, {16, 16}, 32},
             {0, 0, {64, 32}, 96},
             {0, 0, {6}, 6}}) {
        EXPECT_EQ(cpus_in_groups(process, group, active), cpus) << process;
    }
}

// A vector kernel is offered only where the CPU has every instruction it uses and the
// system saves its registers (XCR0), or will at their first use (macOS and AVX-512).
TEST(Platform, VectorKernelsNeedTheirInstructionsAndTheirRegistersSaved) {
    // leaf 1 ECX: OSXSAVE 27, AVX 28; leaf 7 EBX: BMI1 3, AVX2 5, BMI2 8, AVX-512 F 16,
    // BW 30, VL 31; leaf 7 ECX: VBMI 1. XCR0: SSE 1, AVX 2, opmask 5, ZMM 6 and 7.
    constexpr std::uint32_t avx = 3u << 27, avx2 = 1u << 3 | 1u << 5 | 1u << 8,
                            avx512 = avx2 | 1u << 16 | 1u << 30 | 1u << 31, vbmi = 1u << 1;
    for (const auto& [r, want] : std::vector<std::pair<X86Registers, std::pair<bool, bool>>>{
             {{avx, avx512, vbmi, 0xE7, false}, {true, true}},
             {{avx, avx512, 0, 0xE7, false}, {true, false}},
             {{avx, avx512 & ~(1u << 30), vbmi, 0xE7, false}, {true, false}},
             {{avx, avx512, vbmi, 0x07, false}, {true, false}},
             {{avx, avx512, vbmi, 0x07, true}, {true, true}},
             {{avx, avx512, vbmi, 0x03, true}, {false, false}},
             {{1u << 28, avx512, vbmi, 0xE7, false}, {false, false}},
             {{avx, avx2 & ~(1u << 8), 0, 0x07, false}, {false, false}},
             {{avx, avx2 & ~(1u << 3), 0, 0x07, false}, {false, false}},
             {{1u << 27, avx2, 0, 0x07, false}, {false, false}}}) {
        const X86Vectors v = x86_vectors(r);
        EXPECT_EQ(std::pair(v.avx2, v.avx512), want) << r.leaf1_ecx << " " << r.leaf7_ebx;
    }
#if defined(__x86_64__) && !defined(__APPLE__)  // zig's runtime for macOS has no __cpu_model
    // This machine, as the compiler's own check (GCC's and Clang's runtime) finds it.
    __builtin_cpu_init();
    const X86Vectors here = x86_vectors();
    EXPECT_EQ(here.avx2, __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"));
    EXPECT_EQ(here.avx512, here.avx2 && __builtin_cpu_supports("avx512f") &&
                               __builtin_cpu_supports("avx512bw") &&
                               __builtin_cpu_supports("avx512vl") &&
                               __builtin_cpu_supports("avx512vbmi"));
#endif
}

}  // namespace
