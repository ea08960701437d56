#include "trajectory_memo.hpp"

#include <new>

#include "base/heap.hpp"

namespace revadd {

TrajectoryMemo::Shard& TrajectoryMemo::shard_of(MemoKey kind, std::string_view key) const {
    // The top bits pick the shard; the map inside uses the low ones for its buckets. Any
    // shard would hold the entry as well, only with more waiting: no test can tell.
    // mutants: off
    const std::size_t h = Hash{}(key);
    const std::size_t first = kind == MemoKey::first_sum ? 0 : tuning::memo_shards;
    return shards_[first + (h >> 40) % tuning::memo_shards];
    // mutants: on
}

bool TrajectoryMemo::reserve(std::size_t bytes) {
    std::size_t used = used_.load(std::memory_order_relaxed);
    do {
        if (used > budget_ || bytes > budget_ - used) return false;
    } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    return true;
}

const MemoEntry* TrajectoryMemo::find(MemoKey kind, std::string_view sum) const {
    const Shard& shard = shard_of(kind, sum);
    const std::lock_guard lock(shard.mutex);
    const auto it = shard.entries.find(sum);
    return it == shard.entries.end() ? nullptr : &it->second;
}

bool TrajectoryMemo::insert(MemoKey kind, std::string_view sum, std::int32_t steps,
                            std::string_view palindrome) {
    const std::size_t cost = sum.size() + palindrome.size() + tuning::memo_entry_overhead_bytes;
    if (!reserve(cost)) return false;
    Shard& shard = shard_of(kind, sum);
    bool stored = false;
    try {
        const AllocationMayFail optional;
        const std::lock_guard lock(shard.mutex);
        // Two threads may have worked out the same trajectory; the first one keeps it.
        if (shard.entries.find(sum) == shard.entries.end()) {
            shard.entries.emplace(std::string(sum), MemoEntry{steps, std::string(palindrome)});
            stored = true;
        }
    } catch (const std::bad_alloc&) {
        // Out of memory before the budget: the memo stays as it is and takes no more.
        used_.store(budget_, std::memory_order_relaxed);
        return false;
    }
    if (!stored) used_.fetch_sub(cost, std::memory_order_relaxed);
    return stored;
}

}  // namespace revadd
