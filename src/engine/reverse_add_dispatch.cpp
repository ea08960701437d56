// The one place that asks the CPU what it can run and chooses the kernel.
#include <vector>

#include "base/cpu_features.hpp"
#include "reverse_add_kernel.hpp"
#include "reverse_add_x86.hpp"

namespace revadd {
namespace {

std::vector<const ReverseAddKernel*> detect() {
    std::vector<const ReverseAddKernel*> kernels{&portable_kernel};
#if REVADD_X86_64
    const X86Vectors cpu = x86_vectors();
    if (cpu.avx2) kernels.push_back(&avx2_kernel);
    if (cpu.avx512) kernels.push_back(&avx512_kernel);
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
