// The base layer: what the platform decides from what a system reports, run on every
// system whichever the build is for, and what this machine's limits leave.
#include <gtest/gtest.h>

#include <fstream>

#include "base/cpu_features.hpp"
#include "base/machine.hpp"
#include "run_program.hpp"

namespace {

using namespace revadd;

// A Windows process keeps to its affinity mask; left to the whole of its group on a machine
// of several groups, or with threads in several already (no mask then), it has them all.
TEST(Platform, WindowsCpusAreTheAffinitysOrEveryGroups) {
    for (const auto& [process, group, active, cpus] :
         std::vector<std::tuple<std::uint64_t, std::uint64_t, std::vector<unsigned>, unsigned>>{
             {0xF, 0xF, {4}, 4},
             {0x5, 0xF, {4}, 2},
             {0x7, 0x7, {8}, 3},
             {~0ull, ~0ull, {64}, 64},
             {~0ull, ~0ull, {64, 64, 16}, 144},
             {0x3, ~0ull, {64, 64}, 2},
             {0, 0, {64, 32}, 96}}) {
        EXPECT_EQ(cpus_in_groups(process, group, active), cpus) << process;
    }
}

// A vector kernel is offered only where the CPU has every instruction it uses and the
// system saves its registers (XCR0), or will at their first use (macOS and AVX-512); a CPU
// that cannot be asked offers none.
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
    EXPECT_FALSE(X86Vectors{}.avx2 || X86Vectors{}.avx512);
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

// CPUs capped by the tightest CPU quota of the cgroup and those above it (rounded up, a
// whole one kept); memory from the cgroups' room; the v2 line of /proc/self/cgroup, with
// the hierarchy mounted alone or as "unified"; MemAvailable of /proc/meminfo.
TEST(Machine, CpusAndMemoryFollowTheCgroupAndMeminfo) {
    const tests::TempDir root;
    for (const auto& [dir, cpu_max, memory_max, memory_current] :
         std::vector<std::array<std::string, 4>>{{"", "max 100000", "max", "5"},
                                                 {"a", "200000 100000", "1000000", "400000"},
                                                 {"a/b", "junk", "700000", "650000"},
                                                 {"a/b/c", "max", "40000", ""}}) {
        std::filesystem::create_directories(root.path / dir);
        tests::write_file(root.path / dir / "cpu.max", cpu_max + "\n");
        tests::write_file(root.path / dir / "memory.max", memory_max + "\n");
        if (!memory_current.empty())
            tests::write_file(root.path / dir / "memory.current", memory_current + "\n");
    }
    using Room = std::optional<std::size_t>;
    EXPECT_EQ(cgroup_cpus({root.path, "/a/b/c"}), std::optional<unsigned>(2));
    EXPECT_EQ(cgroup_memory_room({root.path, "/a/b/c"}), Room(40000));  // none in use
    EXPECT_EQ(cgroup_memory_room({root.path, "/a/b"}), Room(50000));
    EXPECT_EQ(cgroup_memory_room({root.path, "/a"}), Room(600000));
    EXPECT_EQ(cgroup_cpus({root.path, "/"}), std::nullopt);
    EXPECT_EQ(cgroup_memory_room({root.path, "/"}), std::nullopt);
    tests::write_file(root.path / "a/b/cpu.max", "50000 100000\n");
    EXPECT_EQ(cgroup_cpus({root.path, "/a/b/c"}), std::optional<unsigned>(1));
    tests::write_file(root.path / "cgroup.controllers", "");
    std::filesystem::create_directories(root.path / "a/unified");
    tests::write_file(root.path / "a/unified/cgroup.controllers", "");
    for (const auto& [text, mount, found] :
         std::vector<std::tuple<std::string, std::string, std::optional<std::string>>>{
             {"12:cpu:/x\n0::/a/b\n", "", ". /a/b"},
             {"0::/c\n", "a", "a/unified /c"},
             {"12:cpu:/x\n", "", std::nullopt},
             {"", "", std::nullopt},
             {"0::/c", "a/b", std::nullopt}}) {
        const auto cgroup = cgroup_of(text, root.path / mount);
        EXPECT_EQ(cgroup ? std::optional(
                               std::filesystem::relative(cgroup->root, root.path).generic_string() +
                               " " + cgroup->self)
                         : std::nullopt,
                  found)
            << text;
    }
    for (const auto& [meminfo, bytes] : std::vector<std::pair<std::string, Room>>{
             {"MemTotal: 9 kB\nMemAvailable:    2048 kB\n", 2 << 20},
             {"MemFree: 7 kB\n", std::nullopt},
             {"XMemAvailable: 7 kB\n", std::nullopt},
             {"MemAvailable: 7x kB\n", std::nullopt},
             {"MemAvailable:  kB\n", std::nullopt}}) {
        EXPECT_EQ(meminfo_available(meminfo), bytes) << meminfo;
    }
}

// What the limits and the free memory leave: never nothing, never more than either (the
// free memory read after, give or take what other processes took meanwhile). One pinned
// CPU is what the Linux extras find; the plain POSIX layer counts the CPUs online.
TEST(Machine, LimitsLeaveSomeRoomAndAPinnedCpuIsOne) {
    if (!tests::linux_harness) GTEST_SKIP() << "limits kept to and CPUs pinned: Linux only";
    const std::size_t usable = usable_memory();
    std::ifstream meminfo("/proc/meminfo");
    const auto available =
        meminfo_available(std::string(std::istreambuf_iterator<char>(meminfo), {}));
    EXPECT_TRUE(available && usable > 0 &&
                (usable <= *available + (64 << 20) || !REVADD_LINUX_EXTRAS));
    for (const tests::Limit resource : {tests::Limit::address_space, tests::Limit::data}) {
        tests::RunSetup one_cpu;
        one_cpu.cpu = 0;
#ifndef REVADD_SANITIZED_ALLOCATOR  // which reserves more address space than any limit here
        constexpr long long room = 64ll << 20;  // far less than the machine has free
        one_cpu.limits = {{resource, tests::memory_in_use(resource == tests::Limit::data) + room}};
#else
        constexpr long long room = 1ll << 40;
#endif
        one_cpu.instead = [] {
            const std::size_t memory = usable_memory();
            return (usable_cpus() == 1 || !REVADD_LINUX_EXTRAS) && memory > 0 &&
                           memory <= static_cast<std::size_t>(room)
                       ? 0
                       : 1;
        };
        EXPECT_EQ(tests::run_revadd(one_cpu).status, 0) << static_cast<int>(resource);
    }
}

}  // namespace
