// Thin wrappers over the C heap. A request for zero bytes is turned into a request for
// one, so that "nothing" never reads as "failed" whatever the C library returns for 0.
#include "heap.hpp"

#include <array>
#include <cstdlib>

namespace revadd::heap {
namespace {

// -1 means no failure pending for that kind of request.
std::array<long, 3> pending = {-1, -1, -1};

bool injected(Op op) noexcept {
    long& left = pending[static_cast<std::size_t>(op)];
    if (left < 0) return false;
    if (left == 0) {
        left = -1;
        return true;
    }
    --left;
    return false;
}

}  // namespace

void* allocate(std::size_t bytes) {
    if (injected(Op::plain)) return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void* allocate_zeroed(std::size_t count, std::size_t size) {
    if (injected(Op::zeroed)) return nullptr;
    if (count == 0 || size == 0) return std::calloc(1, 1);
    return std::calloc(count, size);
}

void* resize(void* block, std::size_t bytes) {
    if (injected(Op::resize)) return nullptr;
    return std::realloc(block, bytes ? bytes : 1);
}

void release(void* block) noexcept { std::free(block); }

void fail_after(Op op, long skip) noexcept { pending[static_cast<std::size_t>(op)] = skip; }

void clear_failures() noexcept { pending = {-1, -1, -1}; }

}  // namespace revadd::heap
