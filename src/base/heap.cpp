// Thin wrappers over the C heap. A request for zero bytes is turned into a request for
// one, so that "nothing" never reads as "failed" whatever the C library returns for 0.
#include "heap.hpp"

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include "fatal.hpp"

namespace revadd::heap {
namespace {

// -1 means no failure pending for that kind of request. Atomic because the searching
// threads allocate too: each request counts exactly once, whichever thread makes it.
std::array<std::atomic<long>, 3> pending = {-1, -1, -1};

bool injected(Op op) noexcept {
    std::atomic<long>& left = pending[static_cast<std::size_t>(op)];
    long now = left.load(std::memory_order_relaxed);
    while (now >= 0) {
        if (left.compare_exchange_weak(now, now - 1, std::memory_order_relaxed)) return now == 0;
    }
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

void fail_after(Op op, long skip) noexcept { pending[static_cast<std::size_t>(op)].store(skip); }

}  // namespace revadd::heap

namespace revadd {

thread_local int AllocationMayFail::depth_ = 0;

void on_allocation_failure() {
    if (AllocationMayFail::active()) throw std::bad_alloc();
    fatal("revadd: out of memory\n");
}

}  // namespace revadd
