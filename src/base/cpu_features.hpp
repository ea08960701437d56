// What the vector kernels need of the CPU and of the operating system: the instructions,
// and the wider registers saved across a switch of threads, without which a kernel's
// state would be lost on the first preemption. Read with cpuid and xgetbv, as every
// compiler and system here can; the decision itself is a pure function of the registers.
#pragma once

#include <cstdint>

namespace revadd {

struct X86Vectors {
    bool avx2 = false;    // AVX2, BMI1 and BMI2, the 256-bit registers saved
    bool avx512 = false;  // and AVX-512 F, BW, VL and VBMI, the 512-bit and mask registers saved
};

// The registers the answer is read from: cpuid leaf 1 ECX, leaf 7 (subleaf 0) EBX and
// ECX, and XCR0 (read only where leaf 1 says the system lets it be). `avx512_on_demand`:
// the system turns the AVX-512 state on at a thread's first use rather than at boot, so
// that XCR0 does not show it yet (macOS).
struct X86Registers {
    std::uint32_t leaf1_ecx = 0, leaf7_ebx = 0, leaf7_ecx = 0;
    std::uint64_t xcr0 = 0;
    bool avx512_on_demand = false;
};

X86Vectors x86_vectors(const X86Registers& registers);

// This CPU's and system's answer; none on other architectures.
X86Vectors x86_vectors();

}  // namespace revadd
