#include "threads.hpp"

#include <atomic>

namespace revadd::threads {
namespace {

// -1: no failure pending.
std::atomic<long> pending{-1};

}  // namespace

bool start_fails() noexcept {
    long now = pending.load(std::memory_order_relaxed);
    while (now >= 0) {
        if (pending.compare_exchange_weak(now, now - 1, std::memory_order_relaxed)) return now == 0;
    }
    return false;
}

void fail_after(long skip) noexcept { pending.store(skip); }

}  // namespace revadd::threads
