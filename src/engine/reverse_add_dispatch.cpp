// The one place that asks the CPU what it can run and chooses the kernel.
#include <vector>

#include "reverse_add_kernel.hpp"
#include "reverse_add_x86.hpp"

namespace revadd {
namespace {

std::vector<const ReverseAddKernel*> detect() {
    std::vector<const ReverseAddKernel*> kernels{&portable_kernel};
#if REVADD_X86_64
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    if (avx2) kernels.push_back(&avx2_kernel);
    if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi")) {
        kernels.push_back(&avx512_kernel);
    }
#endif
    return kernels;
}

const std::vector<const ReverseAddKernel*>& kernels() {
    static const std::vector<const ReverseAddKernel*> found = detect();
    return found;
}

}  // namespace

std::span<const ReverseAddKernel* const> usable_kernels() { return kernels(); }

const ReverseAddKernel& best_kernel() { return *kernels().back(); }

}  // namespace revadd
